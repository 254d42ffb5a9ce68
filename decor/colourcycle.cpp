#include "decor/colourcycle.h"

#include "platform/random.h"
#include "platform/rounding.h"
#include "platform/runtime.h"
#include "platform/windowregistry.h"

namespace decor {

std::int16_t colourComponent(float r)
{
    // r * 256 is exact in double: the product only shifts the exponent.
    return platform::roundToInt16(double(r) * 256.0);
}

platform::ColourValue nextColour(platform::RandomSource &source)
{
    const std::int16_t red = colourComponent(source.next());
    const std::int16_t green = colourComponent(source.next());
    const std::int16_t blue = colourComponent(source.next());
    return platform::rgbColour(red, green, blue);
}

void timer3Timer()
{
    const platform::ColourValue colour = nextColour(platform::RandomSource::instance());
    platform::putProperty(platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")),
        "ForeColor", QVariant::fromValue<quint32>(colour));
}

} // namespace decor
