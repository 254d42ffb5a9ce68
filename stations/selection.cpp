#include "stations/selection.h"

#include "stations/catalogue.h"

#include "platform/runtime.h"
#include "platform/windowregistry.h"

namespace stations {

void combo1Click()
{
    const QString text = platform::getProperty(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")), "Text")
                             .toString();
    for (const Station &station : catalogue()) {
        if (text == station.name) {
            platform::putProperty(platform::control(QStringLiteral("Form1"), QStringLiteral("wm")),
                "URL", station.url);
        }
    }
}

} // namespace stations
