#include "ui/description.h"
#include "ui/descriptionparts.h"

#include "platform/colour.h"

namespace ui {

namespace {

using parts::comicSans;
using parts::control;
using platform::SystemColour;
using platform::systemColour;

// The media player's stored settings: header, 23 typed values, extent (164 bytes).
const QByteArray &mediaPlayerSettings()
{
    static const QByteArray block = QByteArray::fromHex("00030000" // header 0x300
                                                        "0800020000000000" // URL
                                                        "0500000000000000f03f" // rate
                                                        "030000000000" // balance
                                                        "05000000000000000000" // currentPosition
                                                        "0800020000000000" // defaultFrame
                                                        "030001000000" // playCount
                                                        "0b00ffff" // autoStart
                                                        "030000000000" // currentMarker
                                                        "0b00ffff" // invokeURLs
                                                        "0800020000000000" // baseURL
                                                        "030032000000" // volume
                                                        "0b000000" // mute
                                                        "08000a000000660075006c006c000000" // uiMode
                                                        "0b000000" // stretchToFit
                                                        "0b000000" // windowlessVideo
                                                        "0b00ffff" // enabled
                                                        "0b00ffff" // enableContextMenu
                                                        "0b000000" // fullScreen
                                                        "0800020000000000" // SAMIStyle
                                                        "0800020000000000" // SAMILang
                                                        "0800020000000000" // SAMIFilename
                                                        "0800020000000000" // captioningID
                                                        "0b000000" // enableErrorDialogs
                                                        "bc190000d00f0000"); // extent 6588 x 4048
    return block;
}

// The title movie's stored settings (582 bytes).
const QByteArray &titleMovieSettings()
{
    static const QByteArray block = QByteArray::fromHex(
        "67556655" // signature gUfU
        "00090000" // 0x900
        "f2130000c2010000" // extent 5106 x 450
        "0800020000000000" // FlashVars
        "08009000000068007400740070003a002f002f006d006f007600690065007300" // Movie
        "2e00740061007200760065006c0069006e002e006500780061006d0070006c00"
        "65002e0063006f006d002f003200300030003000300030003200330030002d00"
        "64003000390039003700640031003900330031002f004e006500770025003200"
        "30005400690074006c0065002e007300770066000000"
        "08009000000068007400740070003a002f002f006d006f007600690065007300" // Src
        "2e00740061007200760065006c0069006e002e006500780061006d0070006c00"
        "65002e0063006f006d002f003200300030003000300030003200330030002d00"
        "64003000390039003700640031003900330031002f004e006500770025003200"
        "30005400690074006c0065002e007300770066000000"
        "0800180000005400720061006e00730070006100720065006e0074000000" // WMode
        "0800060000002d0031000000" // Play
        "0800060000002d0031000000" // Loop
        "08000a00000048006900670068000000" // Quality
        "0800020000000000" // SAlign
        "0800060000002d0031000000" // Menu
        "0800020000000000" // Base
        "0800020000000000" // AllowScriptAccess
        "080010000000530068006f00770041006c006c000000" // Scale
        "08000400000030000000" // DeviceFont
        "08000400000030000000" // EmbedMovie
        "0800020000000000" // BGColor
        "0800020000000000" // SWRemote
        "0800020000000000" // MovieData
        "0d0000000000000000000000000000000000" // (object slot)
        "08000400000031000000" // SeamlessTabbing
        "08000400000030000000" // Profile
        "080000000000" // ProfileAddress
        "08000400000030000000" // ProfilePort
        "08000800000061006c006c000000" // AllowNetworking
        "08000c000000660061006c00730065000000"); // AllowFullScreen
    return block;
}

// The layout movie's stored settings (562 bytes).
const QByteArray &layoutMovieSettings()
{
    static const QByteArray block = QByteArray::fromHex(
        "67556655" // signature gUfU
        "00090000" // 0x900
        "bc19000010050000" // extent 6588 x 1296
        "0800020000000000" // FlashVars
        "08008600000068007400740070003a002f002f006d006f007600690065007300" // Movie
        "2e00740061007200760065006c0069006e002e006500780061006d0070006c00"
        "65002e0063006f006d002f003200300030003000300030003200300038002d00"
        "63006400650061003900630065006500330036002f004c00610079006f007500"
        "74002e007300770066000000"
        "08008600000068007400740070003a002f002f006d006f007600690065007300" // Src
        "2e00740061007200760065006c0069006e002e006500780061006d0070006c00"
        "65002e0063006f006d002f003200300030003000300030003200300038002d00"
        "63006400650061003900630065006500330036002f004c00610079006f007500"
        "74002e007300770066000000"
        "0800180000005400720061006e00730070006100720065006e0074000000" // WMode
        "0800060000002d0031000000" // Play
        "0800060000002d0031000000" // Loop
        "08000a00000048006900670068000000" // Quality
        "0800020000000000" // SAlign
        "0800060000002d0031000000" // Menu
        "0800020000000000" // Base
        "0800020000000000" // AllowScriptAccess
        "080010000000530068006f00770041006c006c000000" // Scale
        "08000400000030000000" // DeviceFont
        "08000400000030000000" // EmbedMovie
        "0800020000000000" // BGColor
        "0800020000000000" // SWRemote
        "0800020000000000" // MovieData
        "0d0000000000000000000000000000000000" // (object slot)
        "08000400000031000000" // SeamlessTabbing
        "08000400000030000000" // Profile
        "080000000000" // ProfileAddress
        "08000400000030000000" // ProfilePort
        "08000800000061006c006c000000" // AllowNetworking
        "08000c000000660061006c00730065000000"); // AllowFullScreen
    return block;
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
    flash1.componentClass = flashPlayerClass;
    flash1.settings = titleMovieSettings();
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
    flash3.componentClass = flashPlayerClass;
    flash3.settings = layoutMovieSettings();
    d.controls.push_back(flash3);

    ControlDescription wm
        = control(QStringLiteral("wm"), ControlKind::Component, 0, 1920, 3735, 2295, 1);
    wm.componentClass = mediaPlayerClass;
    wm.settings = mediaPlayerSettings();
    d.controls.push_back(wm);

    ControlDescription label1
        = control(QStringLiteral("Label1"), ControlKind::Label, 0, 240, 4575, 375, 0);
    label1.foreColour = systemColour(SystemColour::HighlightText);
    label1.font = comicSans(12, 700);
    d.controls.push_back(label1);

    return d;
}

} // namespace ui
