// Inflates the input (gzip or deflate, chosen by its last byte) a step at a time, each step's
// output bound and input piece chosen by the input: no step makes more than its bound, the input
// only shrinks, and Done and Bad are final. A run stops after 64 MiB of output.
#include "network/inflater.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using network::Inflater;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr qint64 maxTotal = qint64(64) << 20;
    FuzzedDataProvider in(data, size);
    Inflater inflater(in.ConsumeBool() ? Inflater::Coding::Gzip : Inflater::Coding::Deflate);
    QByteArray input;
    QByteArray out;
    qint64 total = 0;
    for (;;) {
        // Once the input is used up, what it inflates to is drained in steps of 64 KiB.
        const bool more = in.remaining_bytes() > 0;
        const auto piece = in.ConsumeBytes<char>(in.ConsumeIntegralInRange<std::size_t>(0, 512));
        input.append(piece.data(), qsizetype(piece.size()));
        const qint64 maxOut = more ? in.ConsumeIntegralInRange<qint64>(0, 1 << 20) : 64 << 10;
        const Inflater::State before = inflater.state();
        const qsizetype inputBefore = input.size();
        out.resize(0);
        inflater.inflate(input, out, maxOut);
        if (out.size() > maxOut || input.size() > inputBefore
            || (before != Inflater::State::Reading
                && (!out.isEmpty() || inflater.state() != before))) {
            std::abort();
        }
        total += out.size();
        if (total >= maxTotal || (!more && out.isEmpty() && input.size() == inputBefore)) {
            break;
        }
    }
    return 0;
}
