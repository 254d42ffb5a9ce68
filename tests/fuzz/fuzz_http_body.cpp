// Takes a body out of each framing (chosen, with the length, by the input's last bytes) from
// pieces of the input: what comes out is never more than what was taken, nor more than a length
// given ahead, and Done and Bad are final.
#include "network/httpbody.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using network::HttpBodyDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto framing = static_cast<HttpBodyDecoder::Framing>(in.ConsumeIntegralInRange(0, 2));
    const qint64 length = in.ConsumeIntegralInRange<qint64>(0, 1 << 16);
    HttpBodyDecoder decoder;
    decoder.start(framing, length);
    QByteArray out;
    while (in.remaining_bytes() > 0) {
        const auto piece = in.ConsumeBytes<char>(in.ConsumeIntegralInRange<std::size_t>(0, 300));
        const HttpBodyDecoder::State before = decoder.state();
        const qsizetype had = out.size();
        const qsizetype n
            = decoder.decode(QByteArrayView(piece.data(), qsizetype(piece.size())), out);
        if (n < 0 || n > qsizetype(piece.size()) || out.size() - had > n
            || (before != HttpBodyDecoder::State::Reading
                && (n != 0 || out.size() != had || decoder.state() != before))
            || (framing == HttpBodyDecoder::Framing::Length && out.size() > length)) {
            std::abort();
        }
    }
    return 0;
}
