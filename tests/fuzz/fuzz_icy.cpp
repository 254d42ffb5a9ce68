// Reads an ICY stream with the interval and the read sizes the input chooses: strip() never
// returns more than it was given, -1 is final, and no title holds a control character. Blocks are
// also parsed alone, and header values judged as intervals.
#include "player/core/icyreader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using player::IcyReader;

namespace {

void checkTitle(const std::optional<QByteArray> &title)
{
    if (title
        && std::any_of(title->begin(), title->end(), [](char c) { return uchar(c) < 0x20; })) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const QList<QByteArray> values { QByteArray::fromStdString(in.ConsumeRandomLengthString(24)),
        QByteArray::fromStdString(in.ConsumeRandomLengthString(24)) };
    for (qsizetype n = 0; n <= values.size(); ++n) {
        const std::optional<qint64> interval = IcyReader::intervalOf(values.first(n));
        if (interval && *interval != 0 && !IcyReader::validInterval(*interval)) {
            std::abort();
        }
    }
    const std::string block = in.ConsumeRandomLengthString(255 * 16);
    checkTitle(IcyReader::parseBlock(QByteArrayView(block.data(), qsizetype(block.size()))).title);

    IcyReader reader(in.ConsumeIntegralInRange<qint64>(0, 4096));
    bool broken = false;
    while (in.remaining_bytes() > 0) {
        std::vector<std::uint8_t> piece
            = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 5000));
        const int audio = reader.strip(piece.data(), int(piece.size()));
        if (audio > int(piece.size()) || audio < -1 || (broken && audio != -1)) {
            std::abort();
        }
        broken = audio == -1;
        checkTitle(reader.takeTitle());
    }
    return 0;
}
