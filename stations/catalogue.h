#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace stations {

// Where a station is reached: scheme, host, then the port and path and query where there are any.
struct Endpoint
{
    QString scheme;
    QString host;
    int port = -1; // -1: the scheme's default port, written without ":port"
    QString path; // empty: none, and no closing "/"
    QString query; // empty: none

    QString toString() const;
};

struct Station
{
    QString name; // the display name, also the key a selection is resolved by
    Endpoint endpoint;
    QString url; // the endpoint as the one string handed to the player
};

// The fixed catalogue of stations, in list order. Built once, never changed.
const std::vector<Station> &catalogue();

// The display names in catalogue order: the items of the station list.
QStringList displayNames();

} // namespace stations
