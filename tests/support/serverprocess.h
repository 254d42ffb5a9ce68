#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace testsupport {

// The full path of a program the tests need, or an empty string. When it is missing, `error`
// says which Debian package brings it.
QString findProgram(const QString &name, const QString &package, QString *error);

// The folder of the test servers (tools/ of the source tree).
QString toolsDir();
// The interpreter the servers run under: /usr/bin/python3 (standard library only).
QString serverPython();

// One helper process of a test: a server started with its arguments that prints
// "READY <host> <port> ..." on its standard output once it listens. Its standard error is kept
// for diagnostics. It is stopped by its PID (SIGTERM, then SIGKILL) when stopped or destroyed,
// and the kernel ends it should the test process die first.
class ServerProcess : public QObject
{
    Q_OBJECT
public:
    explicit ServerProcess(QString name, QObject *parent = nullptr);
    ~ServerProcess() override;

    // Starts the program; returns at once.
    void start(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    // Starts tools/<script> under the server interpreter with --host and --port 0 first.
    void startTool(const QString &script, const QStringList &arguments,
        const QString &host = QStringLiteral("127.0.0.1"));
    // Waits (running the event loop) for the READY line. False, with `error` set, when the
    // process ended or the time ran out.
    bool waitReady(int timeoutMs, QString *error);
    // Waits only until the process is running (for programs that print no READY line).
    bool waitStarted(int timeoutMs, QString *error);

    QString name() const { return m_name; }
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    // http://host:port (IPv6 hosts in brackets).
    QString origin() const;
    qint64 pid() const;
    bool isRunning() const;
    QByteArray standardError() const { return m_stderr; }
    QByteArray standardOutput() const { return m_stdout; }

    void stop(int graceMs = 3000);

private:
    void readOutput();

    QString m_name;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QString m_host;
    quint16 m_port = 0;
    bool m_ready = false;
};

// Starts several servers at once and waits for all of them.
bool waitAllReady(const QList<ServerProcess *> &servers, int timeoutMs, QString *error);

} // namespace testsupport
