#pragma once

#include <cstdint>

namespace platform {

// Rounds to the nearest integer, a value halfway between two integers going to the even one, and
// holds it as a 16-bit signed integer. Throws RuntimeError (overflow) outside that range.
std::int16_t roundToInt16(double value);

} // namespace platform
