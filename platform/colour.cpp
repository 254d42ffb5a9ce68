#include "platform/colour.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {

namespace {

QPalette::ColorRole roleFor(SystemColour index, bool *known)
{
    *known = true;
    switch (index) {
    case SystemColour::ScrollBar:
    case SystemColour::ButtonFace:
    case SystemColour::Menu:
    case SystemColour::ActiveBorder:
    case SystemColour::InactiveBorder:
        return QPalette::Button;
    case SystemColour::Desktop:
    case SystemColour::AppWorkspace:
        return QPalette::Dark;
    case SystemColour::ActiveCaption:
    case SystemColour::InactiveCaption:
    case SystemColour::Highlight:
        return QPalette::Highlight;
    case SystemColour::Window:
        return QPalette::Base;
    case SystemColour::WindowFrame:
    case SystemColour::DarkShadow:
        return QPalette::Shadow;
    case SystemColour::MenuText:
    case SystemColour::WindowText:
        return QPalette::WindowText;
    case SystemColour::CaptionText:
    case SystemColour::HighlightText:
    case SystemColour::InactiveCaptionText:
        return QPalette::HighlightedText;
    case SystemColour::ButtonShadow:
        return QPalette::Mid;
    case SystemColour::GrayText:
        return QPalette::PlaceholderText;
    case SystemColour::ButtonText:
        return QPalette::ButtonText;
    case SystemColour::ButtonHighlight:
    case SystemColour::Light:
        return QPalette::Light;
    case SystemColour::InfoText:
        return QPalette::ToolTipText;
    case SystemColour::InfoBackground:
        return QPalette::ToolTipBase;
    }
    *known = false;
    return QPalette::NoRole;
}

} // namespace

QColor toQColor(ColourValue value)
{
    if (!isSystemColour(value)) {
        return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
    }
    bool known = false;
    const auto role = roleFor(static_cast<SystemColour>(value & 0xFF), &known);
    if (!known || (value & 0x7FFFFF00u) != 0) {
        return QColor(Qt::black);
    }
    return QGuiApplication::palette().color(QPalette::Active, role);
}

} // namespace platform
