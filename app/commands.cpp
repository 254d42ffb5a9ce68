#include "app/commands.h"

#include "platform/runtime.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"

#include <QWidget>

namespace app {

namespace {

void switchWindows(const QString &from, const QString &to)
{
    platform::hideWindow(platform::window(from));
    platform::showWindow(platform::window(to));
}

} // namespace

void form1Image1Click()
{
    platform::endProgram();
}

void form1Image2Click()
{
    platform::putProperty(platform::window(QStringLiteral("Form1")), "WindowState", 1);
}

void form1Label3Click()
{
    switchWindows(QStringLiteral("Form1"), QStringLiteral("Form2"));
}

void form2Image2Click()
{
    switchWindows(QStringLiteral("Form2"), QStringLiteral("Form1"));
}

void form2Image1DblClick()
{
    switchWindows(QStringLiteral("Form2"), QStringLiteral("Form1"));
}

void raiseForm1()
{
    if (QWidget *form2 = platform::existingWindow(QStringLiteral("Form2"));
        form2 && form2->isVisible()) {
        platform::hideWindow(form2);
    }
    QWidget *form1 = platform::window(QStringLiteral("Form1"));
    platform::showWindow(form1);
    form1->raise();
    form1->activateWindow();
}

} // namespace app
