// Prints the built-in station catalogue, one station a line: position, display name and
// endpoint, separated by tabs. The end-to-end harness stands up its servers from this, so the
// servers always follow the catalogue the program was built with.
#include "stations/catalogue.h"

#include <cstdio>

int main()
{
    int position = 1;
    for (const stations::Station &station : stations::catalogue()) {
        std::printf("%d\t%s\t%s\n", position++, station.name.toUtf8().constData(),
            station.url.toUtf8().constData());
    }
    return 0;
}
