#pragma once

#include <cstdint>

namespace platform {

// Layouts are drawn for 96 pixels per inch: 1440 twips per inch, 15 per pixel.
inline constexpr int twipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return twips / twipsPerPixel;
}

// Embedded components store their extent in hundredths of a millimetre (2540 per inch).
constexpr int himetricToTwips(std::uint32_t himetric)
{
    return static_cast<int>((static_cast<std::uint64_t>(himetric) * 1440 + 1270) / 2540);
}

constexpr std::uint32_t twipsToHimetric(int twips)
{
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(twips) * 2540 + 720) / 1440);
}

} // namespace platform
