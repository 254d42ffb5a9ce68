#pragma once

#include <QColor>
#include <cstdint>

namespace platform {

// A colour value: with bit 31 clear, red + 256 * green + 65536 * blue; with bit 31 set, the
// index of a system colour in the low byte, resolved against the desktop's palette.
using ColourValue = std::uint32_t;

inline constexpr ColourValue systemColourFlag = 0x80000000u;

enum class SystemColour : std::uint8_t {
    ScrollBar = 0,
    Desktop = 1,
    ActiveCaption = 2,
    InactiveCaption = 3,
    Menu = 4,
    Window = 5,
    WindowFrame = 6,
    MenuText = 7,
    WindowText = 8,
    CaptionText = 9,
    ActiveBorder = 10,
    InactiveBorder = 11,
    AppWorkspace = 12,
    Highlight = 13,
    HighlightText = 14,
    ButtonFace = 15,
    ButtonShadow = 16,
    GrayText = 17,
    ButtonText = 18,
    InactiveCaptionText = 19,
    ButtonHighlight = 20,
    DarkShadow = 21,
    Light = 22,
    InfoText = 23,
    InfoBackground = 24,
};

constexpr ColourValue systemColour(SystemColour index)
{
    return systemColourFlag | static_cast<ColourValue>(index);
}

constexpr bool isSystemColour(ColourValue value)
{
    return (value & systemColourFlag) != 0;
}

// Builds a fixed colour from components; a component above 255 counts as 255, below 0 as 0.
constexpr ColourValue rgbColour(int red, int green, int blue)
{
    auto clamp = [](int c) { return static_cast<ColourValue>(c < 0 ? 0 : (c > 255 ? 255 : c)); };
    return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

// The colour a value shows now: fixed colours as stored, system colours from the application's
// palette. An unknown system colour index resolves to black.
QColor toQColor(ColourValue value);

} // namespace platform
