#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // On X11 the toolkit hands a window's changes to the server through shared memory and waits
    // for the server to have read them before the next paint: a round trip, and one more wake-up,
    // for each change. The window is small and its changes smaller (the list's text five times a
    // second): sending the pixels costs less. The user's own setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    // The program takes no command line of its own; Qt's own options still apply.
    QApplication application(argc, argv);
    return app::run();
}
