#include "app/startup.h"

#include "app/events.h"
#include "app/mpris.h"
#include "app/translations.h"

#include "platform/version.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"
#include "resources/identity.h"
#include "stations/catalogue.h"
#include "ui/builder.h"
#include "ui/description.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

namespace app {

namespace {

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QWidget *makeWindow(const ui::WindowDescription &description)
{
    QWidget *window = ui::buildWindow(description);
    bindEvents(window);
    return window;
}

} // namespace

void registerWindows()
{
    platform::registerWindow(QStringLiteral("Form1"),
        [] { return makeWindow(ui::form1Description(stations::displayNames())); });
    platform::registerWindow(
        QStringLiteral("Form2"), [] { return makeWindow(ui::form2Description()); });
}

int run()
{
    // The title names the program outside its windows. It is the application's name rather than
    // its display name: a display name would be appended to every window caption.
    QApplication::setApplicationName(text(resources::title));
    QApplication::setApplicationVersion(QString::fromLatin1(platform::versionText));
    QApplication::setOrganizationDomain(text(resources::organizationDomain));
    QApplication::setDesktopFileName(text(resources::desktopFileName));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));

    installTranslations(QLocale());
    registerComponents();
    registerWindows();

    // Form1 is created from its description (its timers start, its components get their
    // settings); its load step does nothing of the program's own; then it is shown.
    platform::showWindow(platform::window(QStringLiteral("Form1")));
    // The desktop's media controls reach the player through the session bus, where there is one.
    std::unique_ptr<Mpris> mpris = startMprisOnSessionBus();
    const int status = QApplication::exec();
    mpris.reset();
    platform::destroyWindows();
    return status;
}

} // namespace app
