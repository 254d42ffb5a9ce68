#include "pulseserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

namespace testsupport {

PulseServer::PulseServer() = default;

PulseServer::~PulseServer()
{
    stop();
}

bool PulseServer::start(QString *error)
{
    const QString program
        = findProgram(QStringLiteral("pulseaudio"), QStringLiteral("pulseaudio"), error);
    if (program.isEmpty()) {
        return false;
    }
    // Socket paths are limited to 107 bytes: keep the folder short.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/pulse-test-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("cannot make a temporary folder for PulseAudio");
        return false;
    }
    const QString home = m_dir->filePath(QStringLiteral("home"));
    const QString runtime = m_dir->filePath(QStringLiteral("run"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(
        runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString socket = m_dir->filePath(QStringLiteral("pulse.sock"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    m_daemon = std::make_unique<ServerProcess>(QStringLiteral("pulseaudio"));
    m_daemon->start(program,
        { QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
            QStringLiteral("-n"), QStringLiteral("--use-pid-file=no"),
            QStringLiteral("--disallow-exit"), QStringLiteral("--log-target=stderr"),
            QStringLiteral("--load=module-null-sink sink_name=%1 rate=44100")
                .arg(QLatin1String(sinkName)),
            QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1")
                .arg(socket) },
        environment);
    if (!m_daemon->waitStarted(5000, error)) {
        return false;
    }
    QDeadlineTimer deadline(10000);
    for (;;) {
        if (!m_daemon->isRunning()) {
            *error = QStringLiteral("pulseaudio ended at start-up:\n%1")
                         .arg(QString::fromUtf8(m_daemon->standardError()));
            return false;
        }
        if (QFile::exists(socket)) {
            QLocalSocket probe;
            probe.connectToServer(socket);
            if (probe.waitForConnected(500)) {
                break;
            }
        }
        if (deadline.hasExpired()) {
            *error = QStringLiteral("pulseaudio did not open its socket within 10 s:\n%1")
                         .arg(QString::fromUtf8(m_daemon->standardError()));
            return false;
        }
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    m_serverString = QStringLiteral("unix:") + socket;
    m_hadPreviousServer = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_previousServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", m_serverString.toLocal8Bit());
    return true;
}

void PulseServer::stop()
{
    if (m_daemon) {
        m_daemon->stop();
        m_daemon.reset();
        if (m_hadPreviousServer) {
            qputenv("PULSE_SERVER", m_previousServer);
        } else {
            qunsetenv("PULSE_SERVER");
        }
    }
    m_dir.reset();
}

QProcessEnvironment PulseServer::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), m_serverString);
    if (m_dir) {
        environment.insert(QStringLiteral("HOME"), m_dir->filePath(QStringLiteral("home")));
        environment.insert(
            QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("run")));
    }
    return environment;
}

} // namespace testsupport
