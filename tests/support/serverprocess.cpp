#include "serverprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>

#ifndef RADIO_TOOLS_DIR
#error "RADIO_TOOLS_DIR must name the tools folder"
#endif

namespace testsupport {

QString findProgram(const QString &name, const QString &package, QString *error)
{
    const QString path = name.startsWith(QLatin1Char('/'))
        ? (QFileInfo(name).isExecutable() ? name : QString())
        : QStandardPaths::findExecutable(name);
    if (path.isEmpty() && error) {
        *error = QStringLiteral("required program '%1' is missing: install the Debian package %2")
                     .arg(name, package);
    }
    return path;
}

QString toolsDir()
{
    return QStringLiteral(RADIO_TOOLS_DIR);
}

QString serverPython()
{
    return QStringLiteral("/usr/bin/python3");
}

ServerProcess::ServerProcess(QString name, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

ServerProcess::~ServerProcess()
{
    stop(1000);
}

void ServerProcess::start(
    const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(environment);
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &ServerProcess::readOutput);
    connect(m_process.get(), &QProcess::readyReadStandardError, this, [this] {
        m_stderr += m_process->readAllStandardError();
        if (m_stderr.size() > 256 * 1024) {
            m_stderr = m_stderr.right(128 * 1024);
        }
    });
    m_process->start(QIODevice::ReadOnly);
}

void ServerProcess::startTool(
    const QString &script, const QStringList &arguments, const QString &host)
{
    start(serverPython(),
        QStringList { QDir(toolsDir()).filePath(script), QStringLiteral("--host"), host,
            QStringLiteral("--port"), QStringLiteral("0") }
            + arguments);
}

void ServerProcess::readOutput()
{
    const QByteArray data = m_process->readAllStandardOutput();
    m_stdout += data;
    if (m_ready) {
        return;
    }
    const qsizetype end = m_stdout.indexOf('\n');
    if (end < 0) {
        return;
    }
    const QList<QByteArray> words = m_stdout.left(end).split(' ');
    if (words.size() >= 3 && words[0] == "READY") {
        m_host = QString::fromLatin1(words[1]);
        m_port = quint16(words[2].toUInt());
        m_ready = m_port != 0;
    }
}

bool ServerProcess::waitReady(int timeoutMs, QString *error)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_ready) {
        if (!m_process || m_process->state() == QProcess::NotRunning) {
            if (error) {
                *error = QStringLiteral("%1 could not start: %2\n%3")
                             .arg(m_name, m_process ? m_process->errorString() : QString(),
                                 QString::fromUtf8(m_stderr));
            }
            return false;
        }
        if (deadline.hasExpired()) {
            if (error) {
                *error = QStringLiteral("%1 was not ready within %2 ms\n%3")
                             .arg(m_name)
                             .arg(timeoutMs)
                             .arg(QString::fromUtf8(m_stderr));
            }
            return false;
        }
        m_process->waitForReadyRead(20);
        readOutput();
        QCoreApplication::processEvents();
    }
    return true;
}

bool ServerProcess::waitStarted(int timeoutMs, QString *error)
{
    if (m_process && m_process->waitForStarted(timeoutMs)) {
        return true;
    }
    if (error) {
        *error = QStringLiteral("%1 could not start: %2")
                     .arg(m_name, m_process ? m_process->errorString() : QString());
    }
    return false;
}

QString ServerProcess::origin() const
{
    const QString host
        = m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

qint64 ServerProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool ServerProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void ServerProcess::stop(int graceMs)
{
    if (!m_process) {
        return;
    }
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate(); // SIGTERM to this process's PID only
        if (!m_process->waitForFinished(graceMs)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process->disconnect(this);
    m_process.reset();
    m_ready = false;
}

bool waitAllReady(const QList<ServerProcess *> &servers, int timeoutMs, QString *error)
{
    QDeadlineTimer deadline(timeoutMs);
    for (ServerProcess *server : servers) {
        if (!server->waitReady(int(std::max<qint64>(1, deadline.remainingTime())), error)) {
            return false;
        }
    }
    return true;
}

} // namespace testsupport
