#pragma once

#include <QAccessible>

#include <span>

class QWidget;

namespace ui {

// What assistive technology (a screen reader) is told about a window or a control: its role, its
// name and what it does. These are the program's own words, kept apart from the window
// descriptions, which hold only what the windows store.
struct AccessibleControl
{
    const char *window;
    const char *control; // empty: the window itself
    // NoRole: decoration that a screen reader passes over.
    QAccessible::Role role;
    const char *name; // empty: the control's own text (a label's caption, a window's caption)
    const char *description;
};

// Every row, for both windows.
std::span<const AccessibleControl> accessibleControls();

// Lets assistive technology see our controls as the table describes them. Done before the first
// control is made, as Qt may describe a control as soon as it exists.
void installAccessibility();

// Gives the window (by its name) and its controls the roles, names and descriptions of the table.
// Picture buttons and the banner's click area can be pressed through the accessibility
// interface as by a click.
void describeForAccessibility(QWidget *window);

} // namespace ui
