#pragma once

class QWidget;

namespace ui {

// Lets assistive technology see our windows and controls with the roles and names that
// describeForAccessibility gives them. Done before the first control is made, as Qt may describe
// a control as soon as it exists.
void installAccessibility();

// Gives the window (by its name) and its controls their roles, names and descriptions: the
// program's own words, kept in a table of their own apart from the window descriptions.
// Picture buttons and the banner's click area can be pressed through the accessibility
// interface as by a click.
void describeForAccessibility(QWidget *window);

} // namespace ui
