#include "app/startup.h"
#include "player/core/mpvcore.h"

#include <QApplication>

#include <clocale>

int main(int argc, char *argv[])
{
    // Before any thread starts: the allocator's arenas are chosen by the first threads.
    player::setUpAllocator();
    // On X11 the toolkit hands a window's changes to the server through shared memory and waits
    // for the server to have read them before the next paint: a round trip, and one more wake-up,
    // for each change. The window is small and its changes smaller (the list's text five times a
    // second): sending the pixels costs less. The user's own setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    // The program takes no command line of its own; Qt's own options still apply.
    QApplication application(argc, argv);
    // The sound engine (libmpv) reads and writes numbers with the C locale's decimal point. The
    // application object has just set the user's locale for the whole process; its numeric part
    // goes back to C here, once, before the program starts any thread of its own: the locale may
    // change only while nothing else reads it.
    std::setlocale(LC_NUMERIC, "C");
    return app::run();
}
