#pragma once

#include "serverprocess.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A private PulseAudio daemon in user mode with one null sink, "nullsink", whose monitor source
// ("nullsink.monitor") hears everything played to it. It listens on a socket in a temporary
// folder and has its own HOME and XDG_RUNTIME_DIR there. start() points this process at it by
// setting PULSE_SERVER, so an audio library opened afterwards plays into the null sink.
class PulseServer
{
public:
    PulseServer();
    ~PulseServer();

    bool start(QString *error);
    void stop();

    // unix:<socket>
    QString serverString() const { return m_serverString; }
    // The environment for helper programs (pacat, parec, mpv) to reach this daemon.
    QProcessEnvironment clientEnvironment() const;

    static constexpr const char *sinkName = "nullsink";
    static constexpr const char *monitorName = "nullsink.monitor";

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerProcess> m_daemon;
    QString m_serverString;
    QByteArray m_previousServer;
    bool m_hadPreviousServer = false;
};

} // namespace testsupport
