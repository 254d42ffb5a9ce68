#include "platform/rounding.h"

#include "platform/runtime.h"

#include <cmath>

namespace platform {

std::int16_t roundToInt16(double value)
{
    // std::nearbyint follows the current rounding mode, which is round-half-to-even unless the
    // program changes it (it never does).
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
        throw RuntimeError(errors::overflow, QStringLiteral("Overflow"));
    }
    return static_cast<std::int16_t>(rounded);
}

} // namespace platform
