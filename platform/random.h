#pragma once

#include <cstdint>

namespace platform {

// The program's one source of random numbers: single-precision values r, 0 <= r < 1, uniform,
// starting from the same fixed state at every start; the program never seeds it. It is a
// multiplicative congruential generator (Park and Miller's "minimal standard") whose top 24
// bits make the fraction, so every value is exact in single precision.
class RandomSource
{
public:
    float next();

    // The one instance the program uses.
    static RandomSource &instance();

private:
    std::uint32_t m_state = 1;
};

} // namespace platform
