#include "ui/description.h"
#include "ui/descriptionparts.h"

#include "platform/colour.h"
#include "platform/components.h"
#include "platform/settingsblock.h"

namespace ui {

namespace {

using parts::comicSans;
using parts::control;
using platform::StoredValue;
using platform::SystemColour;
using platform::systemColour;

StoredValue text(const QString &value)
{
    return platform::storedString(value);
}

// An animation player's stored settings for a movie at a path on the movies' host (a name
// reserved for examples, where a distributor puts the real one): signature, 0x900, extent, 24 typed
// values. All flags are strings, each in the written form it was stored with.
QByteArray movieSettings(const QString &path, std::uint32_t width, std::uint32_t height)
{
    const QString movie = QStringLiteral("http://movies.tarvelin.example.com") + path;
    platform::SettingsWriter w;
    w.raw("gUfU");
    w.u32(0x900);
    w.u32(width);
    w.u32(height);
    const StoredValue values[] = {
        text(QStringLiteral("")), // FlashVars
        text(movie), // Movie
        text(movie), // Src
        text(QStringLiteral("Transparent")), // WMode
        text(QStringLiteral("-1")), // Play
        text(QStringLiteral("-1")), // Loop
        text(QStringLiteral("High")), // Quality
        text(QStringLiteral("")), // SAlign
        text(QStringLiteral("-1")), // Menu
        text(QStringLiteral("")), // Base
        text(QStringLiteral("")), // AllowScriptAccess
        text(QStringLiteral("ShowAll")), // Scale
        text(QStringLiteral("0")), // DeviceFont
        text(QStringLiteral("0")), // EmbedMovie
        text(QStringLiteral("")), // BGColor
        text(QStringLiteral("")), // SWRemote
        text(QStringLiteral("")), // MovieData
        platform::ObjectSlot {}, // an empty object slot
        text(QStringLiteral("1")), // SeamlessTabbing
        text(QStringLiteral("0")), // Profile
        platform::bareString(), // ProfileAddress, stored with byte count 0
        text(QStringLiteral("0")), // ProfilePort
        text(QStringLiteral("all")), // AllowNetworking
        text(QStringLiteral("false")), // AllowFullScreen
    };
    for (const StoredValue &v : values) {
        w.value(v);
    }
    return w.bytes();
}

} // namespace

WindowDescription form1Description(const QStringList &stationNames)
{
    WindowDescription d;
    d.name = QStringLiteral("Form1");
    d.caption = QStringLiteral("Tarvelin Bangla Radio Player");
    d.border = BorderStyle::FixedToolWindow;
    d.clientWidth = 3690;
    d.clientHeight = 4875;
    d.startUpPosition = StartUpPosition::CentreScreen;
    d.picture = QStringLiteral(":/pictures/form1-skin.jpg");
    d.icon = QStringLiteral(":/pictures/icon.png");

    ControlDescription timer3 = control(QStringLiteral("Timer3"), ControlKind::Timer, 0, 0, 0, 0);
    timer3.interval = 200;
    d.controls.push_back(timer3);

    ControlDescription combo1
        = control(QStringLiteral("Combo1"), ControlKind::ComboBox, 0, 1440, 3615, 405, 2);
    combo1.text = QStringLiteral("             Radio List");
    combo1.items = stationNames;
    combo1.font = comicSans(9.75, 700);
    combo1.backColour = systemColour(SystemColour::MenuText);
    combo1.foreColour = platform::rgbColour(255, 0, 0);
    d.controls.push_back(combo1);

    ControlDescription timer1 = control(QStringLiteral("Timer1"), ControlKind::Timer, 0, 0, 0, 0);
    timer1.interval = 10;
    d.controls.push_back(timer1);

    ControlDescription flash1
        = control(QStringLiteral("ShockwaveFlash1"), ControlKind::Component, 0, 0, 2895, 255, 6);
    flash1.componentClass = platform::flashPlayerClass;
    flash1.settings
        = movieSettings(QStringLiteral("/200000230-d0997d1931/New%20Title.swf"), 5106, 450);
    d.controls.push_back(flash1);

    ControlDescription label3
        = control(QStringLiteral("Label3"), ControlKind::Label, 0, 600, 3735, 855, 5);
    d.controls.push_back(label3);

    ControlDescription image3
        = control(QStringLiteral("Image3"), ControlKind::Image, 0, 600, 3765, 765);
    image3.picture = QStringLiteral(":/pictures/form1-banner.jpg");
    d.controls.push_back(image3);

    ControlDescription label2
        = control(QStringLiteral("Label2"), ControlKind::Label, 0, 0, 2895, 255, 4);
    label2.caption = QStringLiteral("Label2");
    label2.opaque = true;
    label2.backColour = systemColour(SystemColour::MenuText);
    d.controls.push_back(label2);

    ControlDescription image2
        = control(QStringLiteral("Image2"), ControlKind::Image, 2880, 0, 405, 255);
    image2.picture = QStringLiteral(":/pictures/form1-minimise.jpg");
    d.controls.push_back(image2);

    ControlDescription image1
        = control(QStringLiteral("Image1"), ControlKind::Image, 3240, 0, 405, 255);
    image1.picture = QStringLiteral(":/pictures/form1-close.jpg");
    d.controls.push_back(image1);

    ControlDescription flash3
        = control(QStringLiteral("ShockwaveFlash3"), ControlKind::Component, 0, 4200, 3735, 735, 3);
    flash3.componentClass = platform::flashPlayerClass;
    flash3.settings = movieSettings(QStringLiteral("/200000208-cdea9cee36/Layout.swf"), 6588, 1296);
    d.controls.push_back(flash3);

    ControlDescription wm
        = control(QStringLiteral("wm"), ControlKind::Component, 0, 1920, 3735, 2295, 1);
    wm.componentClass = platform::mediaPlayerClass;
    // No block of its own: the player starts with its own stored settings, those its codec writes
    // from its defaults, as the program registers them with its class.
    d.controls.push_back(wm);

    ControlDescription label1
        = control(QStringLiteral("Label1"), ControlKind::Label, 0, 240, 4575, 375, 0);
    label1.foreColour = systemColour(SystemColour::HighlightText);
    label1.font = comicSans(12, 700);
    d.controls.push_back(label1);

    return d;
}

} // namespace ui
