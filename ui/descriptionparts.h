#pragma once

#include "ui/description.h"

// Small helpers for writing window descriptions.
namespace ui::parts {

inline FontDescription comicSans(double points, int weight)
{
    return FontDescription { QStringLiteral("Comic Sans MS"), points, weight, false, false, false,
        0 };
}

inline ControlDescription control(const QString &name, ControlKind kind, int left, int top,
    int width, int height, int tabIndex = -1)
{
    ControlDescription c;
    c.name = name;
    c.kind = kind;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.tabIndex = tabIndex;
    return c;
}

} // namespace ui::parts
