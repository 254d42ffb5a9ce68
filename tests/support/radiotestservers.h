#pragma once

#include "serverprocess.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace testsupport {

// One address a test puts into the player, and what should come of it.
struct Endpoint
{
    QString kind; // short name for tables and data rows
    QString url;
    double frequency; // the tone it should sound with; 0 for endpoints that must fail
};

// The full set of loopback servers the player tests use: a real Icecast2 with an MP3 and an Ogg
// mount, SHOUTcast-style roots sending titles in four forms, the playlist server, the MMSH
// responder and the failing endpoints. Every server picks a free port, so several sets can run
// side by side. Each endpoint has a tone of its own.
class RadioTestServers
{
public:
    RadioTestServers();
    ~RadioTestServers();

    // Starts everything and waits for it (about two seconds). On failure `error` tells which
    // server or which missing program.
    bool start(QString *error);
    void stop();

    // Every endpoint kind that must play, with its tone.
    QList<Endpoint> playable() const;
    // Every endpoint that must end in failure.
    QList<Endpoint> failing() const;

    ServerProcess &playlists() { return *m_playlists; }
    ServerProcess &faults() { return *m_faults; }

    // Tones and titles of the SHOUTcast roots.
    struct TitleRoot
    {
        QString encoding; // utf8, mojibake, entities, latin1
        QString title; // as the listener should read it
        double frequency;
        ServerProcess *server;
    };
    const std::vector<TitleRoot> &titleRoots() const { return m_titleRoots; }

    // A fresh address on the fault server (each address fails or drops only once).
    QString faultUrl(const QString &path);
    static constexpr double faultToneHz = 1400;
    static constexpr double faultStopAfterS = 4;

private:
    ServerProcess *add(const QString &name);

    std::vector<std::unique_ptr<ServerProcess>> m_servers;
    ServerProcess *m_icecast = nullptr;
    ServerProcess *m_playlists = nullptr;
    ServerProcess *m_mmsh = nullptr;
    ServerProcess *m_faults = nullptr;
    ServerProcess *m_hang = nullptr;
    ServerProcess *m_refused = nullptr;
    std::vector<TitleRoot> m_titleRoots;
    int m_faultSerial = 0;
};

} // namespace testsupport
