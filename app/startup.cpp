#include "app/startup.h"

#include "app/events.h"

#include "platform/forms.h"
#include "platform/windows.h"
#include "resources/identity.h"
#include "stations/catalogue.h"
#include "ui/builder.h"
#include "ui/description.h"

#include <QApplication>
#include <QIcon>

#include <clocale>

namespace app {

namespace {

QWidget *makeWindow(const ui::WindowDescription &description)
{
    QWidget *window = ui::buildWindow(description);
    bindEvents(window);
    return window;
}

} // namespace

void registerWindows()
{
    platform::registerWindow(QStringLiteral("Form1"), [] {
        return makeWindow(ui::form1Description(stations::displayNames()));
    });
    platform::registerWindow(QStringLiteral("Form2"), [] { return makeWindow(ui::form2Description()); });
}

int run()
{
    // The audio engine parses numbers in the C locale whatever the user's locale is.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QString::fromUtf8(resources::identity::projectName));
    QApplication::setApplicationDisplayName(QString::fromUtf8(resources::identity::title));
    QApplication::setApplicationVersion(QString::fromUtf8(resources::identity::productVersion));
    QApplication::setDesktopFileName(QString::fromUtf8(resources::identity::desktopFileName));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));

    registerComponents();
    registerWindows();

    // Form1 is created from its description (its timers start, its components get their
    // settings); its load step does nothing of the program's own; then it is shown.
    platform::showWindow(platform::window(QStringLiteral("Form1")));
    const int status = QApplication::exec();
    platform::destroyWindows();
    return status;
}

} // namespace app
