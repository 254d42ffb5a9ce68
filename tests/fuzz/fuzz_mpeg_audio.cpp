// Runs the MPEG audio scanner on a content type and first bytes from the input: a content type of
// another format rules MPEG audio out whatever the bytes, and frame lengths stay those of real
// frames.
#include "player/core/mpegaudio.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const QByteArray contentType = QByteArray::fromStdString(in.ConsumeRandomLengthString(64));
    const std::vector<char> rest = in.ConsumeRemainingBytes<char>();
    const QByteArray head(rest.data(), qsizetype(rest.size()));
    if (player::isMpegAudio(contentType, head) && !player::mayBeMpegAudio(contentType)) {
        std::abort();
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(head.constData());
    for (qsizetype at = 0; at + 4 <= head.size(); ++at) {
        const int length = player::mpegFrameLength(bytes + at);
        if (length != 0 && (length < 4 || length > 4096)) {
            std::abort();
        }
    }
    return 0;
}
