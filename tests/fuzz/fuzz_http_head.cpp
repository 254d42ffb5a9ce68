// Feeds an answer's head to the head reader in pieces whose sizes the input's last bytes choose:
// it never takes more than it was given, takes everything while it reads, stops within its
// bounds, and a head it took has a real status and only well-formed header names.
#include "network/httpbody.h"
#include "network/httphead.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using network::HttpHeadReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    HttpHeadReader reader;
    qsizetype taken = 0;
    while (in.remaining_bytes() > 0) {
        const auto piece = in.ConsumeBytes<char>(in.ConsumeIntegralInRange<std::size_t>(0, 300));
        const HttpHeadReader::State before = reader.state();
        const qsizetype n = reader.feed(QByteArrayView(piece.data(), qsizetype(piece.size())));
        taken += n;
        if (n < 0 || n > qsizetype(piece.size())
            || (before != HttpHeadReader::State::Reading && n != 0)
            || (before != HttpHeadReader::State::Reading && reader.state() != before)
            || (reader.state() == HttpHeadReader::State::Reading && n != qsizetype(piece.size()))
            || taken > HttpHeadReader::maxBytes) {
            std::abort();
        }
    }
    if (reader.state() == HttpHeadReader::State::Done) {
        const network::HttpHead &head = reader.head();
        if (head.status < 200 || head.status > 599) {
            std::abort();
        }
        for (const auto &[name, value] : head.headers) {
            if (name.isEmpty() || name.contains(' ') || name.contains('\t') || name.contains(':')) {
                std::abort();
            }
        }
        (void)network::contentLengthOf(head);
        (void)network::transferCodingOf(head);
    }
    return 0;
}
