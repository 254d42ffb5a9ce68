#pragma once

#include "ui/description.h"

#include <QFont>

class QWidget;

namespace ui {

// Makes the window of a description: the window, then its controls in stored order with their
// stored settings (the first control in front), timers running, settings blocks handed to the
// embedded components, the keyboard order set. The window is placed but not shown. Throws
// platform::RuntimeError when a component cannot be created.
QWidget *buildWindow(const WindowDescription &description);

// The font of a description at 96 pixels per inch.
QFont toQFont(const FontDescription &font);

} // namespace ui
