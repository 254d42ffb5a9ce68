#include "platform/random.h"

namespace platform {

float RandomSource::next()
{
    m_state = static_cast<std::uint32_t>((std::uint64_t(m_state) * 48271u) % 2147483647u);
    // 31-bit state, its top 24 bits over 2^24: exact in a float and always below 1.
    return static_cast<float>(m_state >> 7) / 16777216.0f;
}

RandomSource &RandomSource::instance()
{
    static RandomSource source;
    return source;
}

} // namespace platform
