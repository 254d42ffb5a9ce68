#pragma once

#include "platform/colour.h"

#include <cstdint>

namespace platform {
class RandomSource;
}

namespace decor {

// One component from a random number r (0 <= r < 1): r * 256 rounded to the nearest integer,
// halves to even, as a 16-bit integer (0 to 256).
std::int16_t colourComponent(float r);

// Draws red, green and blue in that order and builds the colour; 256 counts as 255.
platform::ColourValue nextColour(platform::RandomSource &source);

// Timer3 Timer: gives the text of Combo1 a new random colour.
void timer3Timer();

} // namespace decor
