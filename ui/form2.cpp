#include "ui/description.h"
#include "ui/descriptionparts.h"

namespace ui {

WindowDescription form2Description()
{
    using parts::control;
    using platform::SystemColour;
    using platform::systemColour;

    WindowDescription d;
    d.name = QStringLiteral("Form2");
    d.caption = QStringLiteral("Form2");
    d.border = BorderStyle::None;
    d.clientWidth = 6465;
    d.clientHeight = 4665;
    d.startUpPosition = StartUpPosition::CentreScreen;

    ControlDescription label2
        = control(QStringLiteral("Label2"), ControlKind::Label, 5280, 360, 975, 375, 1);
    label2.caption = QStringLiteral("Label2");
    label2.opaque = true;
    label2.backColour = systemColour(SystemColour::MenuText);
    d.controls.push_back(label2);

    ControlDescription label1
        = control(QStringLiteral("Label1"), ControlKind::Label, 2160, 1560, 1095, 495, 0);
    label1.caption = QStringLiteral("  Using");
    label1.opaque = true;
    label1.backColour = systemColour(SystemColour::MenuText);
    label1.foreColour = platform::rgbColour(0, 0, 255);
    label1.font = parts::comicSans(14.25, 400);
    d.controls.push_back(label1);

    ControlDescription image2
        = control(QStringLiteral("Image2"), ControlKind::Image, 120, 4320, 315, 285);
    image2.picture = QStringLiteral(":/pictures/form2-close.jpg");
    d.controls.push_back(image2);

    ControlDescription image1
        = control(QStringLiteral("Image1"), ControlKind::Image, 0, 0, 6465, 4665);
    image1.picture = QStringLiteral(":/pictures/form2-credits.jpg");
    d.controls.push_back(image1);

    return d;
}

} // namespace ui
