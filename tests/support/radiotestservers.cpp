#include "radiotestservers.h"

namespace testsupport {

namespace {

struct ToneKey
{
    const char *key;
    const char *kind;
    const char *path;
    double frequency;
};

// Every playlist kind of the playlist server, its address and the tone it leads to.
const ToneKey playlistKinds[] = {
    { "asx", "asx", "/pioneerfm.asx", 500 },
    { "sloppy", "asx-sloppy", "/sloppy.asx", 560 },
    { "entryref", "asx-entryref", "/entryref.asx", 620 },
    { "deadfirst", "asx-dead-first-ref", "/deadfirst.asx", 680 },
    { "script", "asx-script-query", "/link/stream/index.php?station=northstar", 740 },
    { "tunein", "asx-tunein-script", "/cast/tunein.php/testradio/playlist.asx", 800 },
    { "generated", "asx-generated",
        "/generateasx.esi?file=bengali/tx/nb/bengali_1330.wma&BBC-UID="
        "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef&SSO2-UID=",
        860 },
    { "m3u", "m3u", "/sound.m3u", 920 },
    { "pls", "pls", "/list.pls", 980 },
    { "wrongtype", "asx-wrong-content-type", "/wrongtype.asx", 1040 },
    { "redirect", "asx-redirect", "/redirect.asx", 1100 },
    { "redirect-stream", "stream-redirect", "/redirect-stream", 1160 },
};
constexpr double decoyHz = 1500;
constexpr double plainPathHz = 1250;
constexpr double mmsHz = 1600;
constexpr double icecastMp3Hz = 2100;
constexpr double icecastOggHz = 2250;

} // namespace

RadioTestServers::RadioTestServers() = default;

RadioTestServers::~RadioTestServers()
{
    stop();
}

ServerProcess *RadioTestServers::add(const QString &name)
{
    m_servers.push_back(std::make_unique<ServerProcess>(name));
    return m_servers.back().get();
}

bool RadioTestServers::start(QString *error)
{
    for (const auto &[program, package] :
        { std::pair { "ffmpeg", "ffmpeg" }, std::pair { "icecast2", "icecast2" } }) {
        if (findProgram(QLatin1String(program), QLatin1String(package), error).isEmpty()) {
            return false;
        }
    }
    if (findProgram(serverPython(), QStringLiteral("python3"), error).isEmpty()) {
        return false;
    }
    const QString hz = QStringLiteral("%1");
    m_refused = add(QStringLiteral("refused port"));
    m_refused->startTool(
        QStringLiteral("fault_server.py"), { QStringLiteral("--mode"), QStringLiteral("refuse") });
    m_hang = add(QStringLiteral("silent host"));
    m_hang->startTool(
        QStringLiteral("fault_server.py"), { QStringLiteral("--mode"), QStringLiteral("hang") });
    m_faults = add(QStringLiteral("fault server"));
    m_faults->startTool(QStringLiteral("fault_server.py"),
        { QStringLiteral("--mode"), QStringLiteral("http"), QStringLiteral("--freq"),
            hz.arg(faultToneHz), QStringLiteral("--stop-after"), hz.arg(faultStopAfterS) });
    // The dead first entry must fail fast: it points at the refused port.
    if (!m_refused->waitReady(10000, error)) {
        return false;
    }
    QStringList playlistArgs { QStringLiteral("--dead-url"),
        m_refused->origin() + QStringLiteral("/dead.mp3"), QStringLiteral("--stream"),
        QStringLiteral("/RadioAdda=%1").arg(plainPathHz), QStringLiteral("--tone"),
        QStringLiteral("decoy=%1").arg(decoyHz) };
    for (const ToneKey &k : playlistKinds) {
        playlistArgs << QStringLiteral("--tone")
                     << QStringLiteral("%1=%2").arg(QLatin1String(k.key)).arg(k.frequency);
    }
    m_playlists = add(QStringLiteral("playlist server"));
    m_playlists->startTool(QStringLiteral("playlist_server.py"), playlistArgs);
    m_mmsh = add(QStringLiteral("MMSH responder"));
    m_mmsh->startTool(
        QStringLiteral("mmsh_server.py"), { QStringLiteral("--freq"), hz.arg(mmsHz) });
    m_icecast = add(QStringLiteral("icecast2"));
    m_icecast->startTool(QStringLiteral("icecast_server.py"),
        { QStringLiteral("--mount"), QStringLiteral("/tone.mp3=mp3:%1").arg(icecastMp3Hz),
            QStringLiteral("--mount"), QStringLiteral("/tone.ogg=ogg:%1").arg(icecastOggHz) });

    const QString bangla = QStringLiteral("আমার সোনার বাংলা");
    const struct
    {
        const char *encoding;
        QString title;
        double frequency;
    } roots[] = {
        { "utf8", bangla, 1700 },
        { "mojibake", QStringLiteral("রেডিও ফুর্তি"), 1780 },
        { "entities", QStringLiteral("আজকের গান"), 1860 },
        { "latin1", QStringLiteral("Café Müller – Señor"), 1940 },
    };
    for (const auto &root : roots) {
        ServerProcess *server
            = add(QStringLiteral("SHOUTcast root (%1)").arg(QLatin1String(root.encoding)));
        QString title = root.title;
        if (QLatin1String(root.encoding) == QLatin1String("latin1")) {
            title.replace(QStringLiteral("–"), QStringLiteral("-")); // no en dash in Latin-1
        }
        server->startTool(QStringLiteral("shoutcast_server.py"),
            { QStringLiteral("--freq"), hz.arg(root.frequency), QStringLiteral("--encoding"),
                QLatin1String(root.encoding), QStringLiteral("--title"), title,
                QStringLiteral("--title-seconds"), QStringLiteral("3600"),
                QStringLiteral("--metaint"), QStringLiteral("4096") });
        m_titleRoots.push_back({ QLatin1String(root.encoding), title, root.frequency, server });
    }
    QList<ServerProcess *> all;
    for (const auto &server : m_servers) {
        all.append(server.get());
    }
    return waitAllReady(all, 30000, error);
}

void RadioTestServers::stop()
{
    for (auto it = m_servers.rbegin(); it != m_servers.rend(); ++it) {
        (*it)->stop();
    }
    m_servers.clear();
    m_titleRoots.clear();
}

QList<Endpoint> RadioTestServers::playable() const
{
    QList<Endpoint> out;
    out.append({ QStringLiteral("icecast-mp3"), m_icecast->origin() + QStringLiteral("/tone.mp3"),
        icecastMp3Hz });
    out.append({ QStringLiteral("icecast-ogg"), m_icecast->origin() + QStringLiteral("/tone.ogg"),
        icecastOggHz });
    // A stream server root: scheme, host and port, no path.
    out.append({ QStringLiteral("shoutcast-root"), m_titleRoots.front().server->origin(),
        m_titleRoots.front().frequency });
    for (const ToneKey &k : playlistKinds) {
        out.append(
            { QLatin1String(k.kind), m_playlists->origin() + QLatin1String(k.path), k.frequency });
    }
    out.append({ QStringLiteral("plain-path"), m_playlists->origin() + QStringLiteral("/RadioAdda"),
        plainPathHz });
    out.append({ QStringLiteral("mms"),
        QStringLiteral("mms://%1:%2/radiobanglanet137774").arg(m_mmsh->host()).arg(m_mmsh->port()),
        mmsHz });
    return out;
}

QList<Endpoint> RadioTestServers::failing() const
{
    const QString faults = m_faults->origin();
    return {
        { QStringLiteral("refused"), m_refused->origin() + QStringLiteral("/"), 0 },
        { QStringLiteral("no-answer"), m_hang->origin() + QStringLiteral("/"), 0 },
        { QStringLiteral("404"), faults + QStringLiteral("/404"), 0 },
        { QStringLiteral("html-page"), faults + QStringLiteral("/html"), 0 },
        { QStringLiteral("garbage"), faults + QStringLiteral("/garbage"), 0 },
        { QStringLiteral("self-referencing-asx"),
            m_playlists->origin() + QStringLiteral("/self.asx"), 0 },
        { QStringLiteral("empty-asx"), m_playlists->origin() + QStringLiteral("/empty.asx"), 0 },
    };
}

QString RadioTestServers::faultUrl(const QString &path)
{
    return QStringLiteral("%1%2?id=%3").arg(m_faults->origin(), path).arg(++m_faultSerial);
}

} // namespace testsupport
