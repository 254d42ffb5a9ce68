#include "platform/windows.h"

#include "platform/runtime.h"

#include <QApplication>
#include <QWidget>

namespace platform {

namespace {

void requireWindow(QWidget *window)
{
    if (!window) {
        throw RuntimeError(errors::objectRequired, QStringLiteral("Object required"));
    }
}

} // namespace

void showWindow(QWidget *window)
{
    requireWindow(window);
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
}

void hideWindow(QWidget *window)
{
    requireWindow(window);
    window->hide();
}

void minimiseWindow(QWidget *window)
{
    requireWindow(window);
    window->setWindowState((window->windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
}

void endProgram(int status)
{
    // Hiding is not closing: no close event reaches any window. The event loop ends before any
    // further event is handled; the windows and their controls are destroyed as main unwinds.
    setEnding(true);
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        w->hide();
    }
    QCoreApplication::exit(status);
}

} // namespace platform
