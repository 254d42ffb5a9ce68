#pragma once

#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace platform {

// Each window has exactly one instance for the whole run, created from its description the first
// time anything refers to it and reused from then on.
using WindowFactory = std::function<QWidget *()>;

void registerWindow(const QString &name, WindowFactory factory);

// The one instance of the window, created on first reference. Throws RuntimeError for a window
// nobody registered.
QWidget *window(const QString &name);

// The instance if it was created already, else nullptr; never creates one.
QWidget *existingWindow(const QString &name);

// A control of a window (created on first reference like any reference to the window) by its
// name. Throws RuntimeError when the window has no control of that name.
QObject *control(const QString &windowName, const QString &controlName);

// Destroys every window created so far, the last created first, and forgets them: the run is
// over, and a new one may begin.
void destroyWindows();

} // namespace platform
