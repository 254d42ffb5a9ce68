#include "stations/catalogue.h"

#include "stations/hosts.h"

namespace stations {

QString Endpoint::toString() const
{
    QString s = scheme + QStringLiteral("://") + host;
    if (port >= 0) {
        s += u':' + QString::number(port);
    }
    s += path;
    if (!query.isEmpty()) {
        s += u'?' + query;
    }
    return s;
}

namespace {

Endpoint root(const char *host, int port)
{
    return Endpoint { QStringLiteral("http"), QString::fromLatin1(host), port, {}, {} };
}

Endpoint at(const char *host, const QString &path, const QString &query = {})
{
    return Endpoint { QStringLiteral("http"), QString::fromLatin1(host), -1, path, query };
}

QString recordingQuery(const char *file)
{
    return QStringLiteral("file=%1&BBC-UID=%2&SSO2-UID=")
        .arg(QLatin1String(file), QLatin1String(hosts::recordingsUserId));
}

std::vector<Station> build()
{
    using namespace hosts;
    const Endpoint adda = at(hosts::adda, QStringLiteral("/RadioAdda"));
    const Endpoint shoutBd = root(hosts::shoutBd, 8205);
    const Endpoint generated = at(recordings, QStringLiteral("/generateasx.esi"));
    auto recording = [&](const char *file) {
        Endpoint e = generated;
        e.query = recordingQuery(file);
        return e;
    };

    const std::vector<std::pair<const char *, Endpoint>> entries {
        { "Radio GoonGoo0n", root(goonGoonOnlineGaanInfinity, 8032) },
        { "Radio Today (Dhaka)", root(todayDhaka, 8000) },
        { "Radio Today(Chitagong)", root(todayChitagong, 8000) },
        { "Radio Foorti", root(foorti, 1400) },
        { "Radio Dhaka", root(dhaka, 8000) },
        { "Radio 2Fun", root(twoFun, 7600) },
        { "Radio Metro", root(metro, 8046) },
        { "Online Gaan", root(goonGoonOnlineGaanInfinity, 8400) },
        { "Radio Infinity", root(goonGoonOnlineGaanInfinity, 8444) },
        { "Radio ArToNaD", root(arToNaDFantastic, 8070) },
        { "Radio 71", adda },
        { "Fantastic Bangali", root(arToNaDFantastic, 8028) },
        { "Radio Himchori", root(himchori, 8001) },
        { "Radio Josh", root(josh, 17644) },
        { "Pioneer FM", at(pioneerFm, QStringLiteral("/pioneerfm.asx")) },
        { "Radio Bangla Net",
            Endpoint { QStringLiteral("mms"), QString::fromLatin1(banglaNet), -1,
                QStringLiteral("/radiobanglanet137774"), {} } },
        { "Radio UnMix", root(unMix, 9000) },
        { "Radio Protitee", root(protitee, 8999) },
        { "Radio Bijoy", root(bijoy, 8000) },
        { "Radio Lemon24", root(lemon24, 8000) },
        { "ShoutBD", shoutBd },
        { "Bangla Wadio", root(hosts::shoutBd, 8201) },
        { "Radio Oniyom", root(oniyom, 8000) },
        { "Radio Northstar",
            at(northstar, QStringLiteral("/link/stream/index.php"),
                QStringLiteral("station=northstar")) },
        { "Onuvuti Radio", shoutBd },
        { "Radio Apon",
            at(apon,
                QStringLiteral("/cast/tunein.php/%1/playlist.asx")
                    .arg(QLatin1String(aponAccount))) },
        { "Radio Adda", adda },
        { "Japan Radio", at(japanRadio, QStringLiteral("/rj/asx/en/bengali.asx")) },
        { "Bangladesh Betar Live", root(betar, 1200) },
        { "Washingtone Bangla Radio", root(washington, 8000) },
        { "BBC Bangla(Poricrroma)",
            at(bulletins, QStringLiteral("/bengali/meta/tx/nb/beng_parikrama_au_nb.asx")) },
        { "BBC Bangla (Probaho)", recording("bengali/tx/nb/bengali_1330.wma") },
        { "BBC Bangla (Prottusha)", recording("bengali/tx/nb/bengali_0130.wma") },
        { "BBC Bangla (Provati)", recording("bengali/tx/nb/bengali_0030.wma") },
        { "Radio Techvision", at(techvision, QStringLiteral("/sound.m3u")) },
    };

    std::vector<Station> stations;
    stations.reserve(entries.size());
    for (const auto &[name, endpoint] : entries) {
        stations.push_back(Station { QString::fromLatin1(name), endpoint, endpoint.toString() });
    }
    return stations;
}

} // namespace

const std::vector<Station> &catalogue()
{
    static const std::vector<Station> stations = build();
    return stations;
}

QStringList displayNames()
{
    QStringList names;
    for (const Station &s : catalogue()) {
        names.append(s.name);
    }
    return names;
}

} // namespace stations
