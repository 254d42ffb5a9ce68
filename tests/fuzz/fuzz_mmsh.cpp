// Feeds arbitrary bytes, in pieces whose sizes come from the input, to the reader of MMS over
// HTTP: what it gives out never outgrows what came in plus the padding of the packets it ended,
// and Ended or Bad is final.
#include "player/core/mmshstream.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    (void)player::asfHeaderInfo(bytes);
    player::MmshFraming framing;
    QByteArray out;
    qsizetype fed = 0;
    qsizetype packets = 0;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const player::MmshFraming::State before = framing.state();
        const qsizetype had = out.size();
        const QByteArrayView part = bytes.sliced(at, std::min(piece, bytes.size() - at));
        framing.feed(part, out);
        fed += part.size();
        if (before != player::MmshFraming::State::Reading && out.size() != had) {
            std::abort();
        }
        if (before != player::MmshFraming::State::Reading && framing.state() != before) {
            std::abort();
        }
        // A piece ends at most one packet per 4-byte chunk head in it, each padded to 64 KiB.
        packets += part.size() / 4 + 1;
    }
    if (out.size() > fed + packets * 0xffff) {
        std::abort();
    }
    return 0;
}
