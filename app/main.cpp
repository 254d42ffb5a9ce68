#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The program takes no command line of its own; Qt's own options still apply.
    QApplication application(argc, argv);
    return app::run();
}
