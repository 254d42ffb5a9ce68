// Per endpoint kind: the time from the put of URL to the first audio at a private PulseAudio null
// sink, for the media player and for bare `mpv --no-video` on the same loopback server, with the
// peak resident memory (VmHWM) and the CPU share of each while it plays. Prints a table.
//
//   bench_player_startup [--runs N] [--hold SECONDS] [--only KIND]

#include "eventloopprobe.h"
#include "pulseserver.h"
#include "radiotestservers.h"
#include "sinkrecorder.h"

#include "platform/runtime.h"
#include "player/view/component.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Peak resident set size in KiB of a process ("self" or a PID), from /proc.
long peakRssKib(const QString &pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// Resets the peak so that the next reading covers only what follows.
void resetPeakRss(const QString &pid)
{
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

// CPU time (user + system) of a process in clock ticks.
long long cpuTicks(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

struct Measure
{
    std::optional<qint64> firstAudioMs;
    long peakKib = -1;
    double cpuPercent = -1;
};

// Holds playback for `holdMs` and measures CPU and peak memory of `pid` over it.
void measureWhilePlaying(SinkRecorder &recorder, const QString &pid, int holdMs, Measure &m)
{
    const long long ticksBefore = cpuTicks(pid);
    const qint64 t0 = recorder.now();
    recorder.record(holdMs);
    const long long ticksAfter = cpuTicks(pid);
    const double seconds = double(recorder.now() - t0) / 1000.0;
    m.cpuPercent
        = 100.0 * double(ticksAfter - ticksBefore) / double(sysconf(_SC_CLK_TCK)) / seconds;
    m.peakKib = peakRssKib(pid);
}

// An idle mpv that opens each address on command over its IPC socket, so that its times start
// where the player's do: a running player handed a new address.
class IdleMpv
{
public:
    bool start(const QString &program, const QProcessEnvironment &environment,
        const QString &socketPath, QString *error)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(program,
            { QStringLiteral("--no-config"), QStringLiteral("--idle=yes"),
                QStringLiteral("--no-video"), QStringLiteral("--ao=pulse"),
                QStringLiteral("--volume=50"), QStringLiteral("--really-quiet"),
                QStringLiteral("--input-ipc-server=") + socketPath });
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_socket.connectToServer(socketPath);
            if (m_socket.waitForConnected(200)) {
                return true;
            }
            QThread::msleep(100);
        }
        *error = QStringLiteral("mpv opened no IPC socket at %1").arg(socketPath);
        return false;
    }

    ~IdleMpv()
    {
        m_socket.abort();
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    void command(const QJsonArray &words)
    {
        m_events.clear();
        m_socket.write(QJsonDocument(QJsonObject { { QStringLiteral("command"), words } })
                           .toJson(QJsonDocument::Compact)
            + '\n');
        m_socket.flush();
    }

    // True once mpv reported that the address failed.
    bool failed()
    {
        m_events += m_socket.readAll();
        return m_events.contains("\"reason\":\"error\"");
    }

    QString pid() const { return QString::number(m_process.processId()); }

private:
    QProcess m_process;
    QLocalSocket m_socket;
    QByteArray m_events;
};

QString cell(const std::optional<qint64> &ms)
{
    return ms ? QString::number(*ms) : QStringLiteral("none");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Media player start-up benchmark"));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Runs per endpoint (median shown)."),
        QStringLiteral("n"), QStringLiteral("1") });
    parser.addOption({ QStringLiteral("hold"), QStringLiteral("Seconds of playing measured."),
        QStringLiteral("s"), QStringLiteral("4") });
    parser.addOption({ QStringLiteral("only"), QStringLiteral("Only this endpoint kind."),
        QStringLiteral("kind") });
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const int holdMs = std::max(1, parser.value(QStringLiteral("hold")).toInt()) * 1000;

    QString error;
    const QString mpv = findProgram(QStringLiteral("mpv"), QStringLiteral("mpv"), &error);
    PulseServer pulse;
    SinkRecorder recorder;
    RadioTestServers servers;
    if (mpv.isEmpty() || !pulse.start(&error)
        || !recorder.start(
            pulse.clientEnvironment(), QLatin1String(PulseServer::monitorName), &error)
        || !servers.start(&error)) {
        std::fprintf(stderr, "bench_player_startup: %s\n", qPrintable(error));
        return 2;
    }

    QTemporaryDir ipcDir;
    IdleMpv idle;
    if (!idle.start(
            mpv, pulse.clientEnvironment(), ipcDir.filePath(QStringLiteral("mpv.sock")), &error)) {
        std::fprintf(stderr, "bench_player_startup: %s\n", qPrintable(error));
        return 2;
    }

    QWidget window;
    QWidget *wm = player::createMediaPlayer(&window, player::encodeMediaPlayerSettings({}));
    wm->setGeometry(0, 128, 249, 153);
    window.resize(246, 325);
    window.show();

    std::printf("%-24s %8s %8s %8s %11s %7s %10s %7s\n", "endpoint", "player", "mpv", "mpv",
        "player KiB", "CPU %", "mpv KiB", "CPU %");
    std::printf("%-24s %8s %8s %8s %11s %7s %10s %7s\n", "", "ms", "warm ms", "cold ms", "VmHWM",
        "player", "VmHWM", "mpv");
    std::fflush(stdout);
    const QString self = QString::number(getpid());
    resetPeakRss(self);
    recorder.record(500);
    const long idleKib = peakRssKib(self);
    for (const Endpoint &e : servers.playable()) {
        if (parser.isSet(QStringLiteral("only"))
            && parser.value(QStringLiteral("only")) != e.kind) {
            continue;
        }
        std::vector<qint64> playerTimes, warmTimes, coldTimes;
        Measure playerM, mpvM;
        for (int run = 0; run < runs; ++run) {
            // The player: from the put to the tone at the sink.
            platform::putProperty(wm, "URL", QString());
            recorder.waitForSilence(recorder.now(), 5000, 300);
            recorder.forgetBefore(recorder.now() - 1000);
            resetPeakRss(self);
            const qint64 t = recorder.now();
            platform::putProperty(wm, "URL", e.url);
            const auto heard = recorder.waitForTone(e.frequency, t, 20000, 300);
            if (heard) {
                playerTimes.push_back(*heard - t);
                measureWhilePlaying(recorder, self, holdMs, playerM);
            }
            platform::putProperty(wm, "URL", QString());
            recorder.waitForSilence(recorder.now(), 5000, 300);

            // A running mpv handed the same address.
            resetPeakRss(idle.pid());
            const qint64 w = recorder.now();
            idle.command({ QStringLiteral("loadfile"), e.url });
            const auto warmHeard = recorder.waitForTone(
                e.frequency, w, 20000, 300, [&idle] { return idle.failed(); });
            if (warmHeard) {
                warmTimes.push_back(*warmHeard - w);
                measureWhilePlaying(recorder, idle.pid(), holdMs, mpvM);
            }
            idle.command({ QStringLiteral("stop") });
            recorder.waitForSilence(recorder.now(), 5000, 300);

            // mpv started afresh for the address: its whole start-up counts.
            QProcess bare;
            bare.setProcessEnvironment(pulse.clientEnvironment());
            bare.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
            const qint64 s = recorder.now();
            bare.start(mpv,
                { QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                    QStringLiteral("--ao=pulse"), QStringLiteral("--volume=50"),
                    QStringLiteral("--really-quiet"), e.url });
            const auto coldHeard = recorder.waitForTone(e.frequency, s, 20000, 300,
                [&bare] { return bare.state() == QProcess::NotRunning; });
            if (coldHeard) {
                coldTimes.push_back(*coldHeard - s);
            }
            bare.terminate();
            if (!bare.waitForFinished(3000)) {
                bare.kill();
                bare.waitForFinished(3000);
            }
            recorder.waitForSilence(recorder.now(), 5000, 300);
        }
        const auto median = [](std::vector<qint64> v) -> std::optional<qint64> {
            if (v.empty()) {
                return std::nullopt;
            }
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("%-24s %8s %8s %8s %11ld %7.1f %10ld %7.1f\n", qPrintable(e.kind),
            qPrintable(cell(median(playerTimes))), qPrintable(cell(median(warmTimes))),
            qPrintable(cell(median(coldTimes))), playerM.peakKib, playerM.cpuPercent, mpvM.peakKib,
            mpvM.cpuPercent);
        std::fflush(stdout);
    }
    // Each failing endpoint, put while a station plays (as a listener switches), from the put
    // to the failure: how long the window stood still.
    const QList<Endpoint> playable = servers.playable();
    const auto plain = std::find_if(playable.begin(), playable.end(),
        [](const Endpoint &e) { return e.kind == QLatin1String("plain-path"); });
    std::printf("\n%-24s %8s %10s %10s\n", "failing endpoint", "fails ms", "stall ms", "gap ms");
    for (const Endpoint &e : servers.failing()) {
        if (parser.isSet(QStringLiteral("only"))
            && parser.value(QStringLiteral("only")) != e.kind) {
            continue;
        }
        if (plain != playable.end()) {
            const qint64 p = recorder.now();
            platform::putProperty(wm, "URL", plain->url);
            recorder.waitForTone(plain->frequency, p, 20000);
            recorder.forgetBefore(recorder.now() - 1000);
        }
        EventLoopProbe probe;
        probe.start();
        const qint64 t = recorder.now();
        platform::putProperty(wm, "URL", e.url);
        QDeadlineTimer deadline(30000);
        const player::Playback *playback = qobject_cast<player::MediaPlayer *>(wm)->playback();
        while (playback->state() != player::Playback::State::Failed && !deadline.hasExpired()) {
            recorder.record(50);
        }
        const bool failed = !deadline.hasExpired();
        std::printf("%-24s %8s %10lld %10lld\n", qPrintable(e.kind),
            qPrintable(failed ? QString::number(recorder.now() - t) : QStringLiteral("none")),
            probe.longestStallMs(), probe.longestGapMs());
        std::fflush(stdout);
        probe.stop();
        platform::putProperty(wm, "URL", QString());
    }
    std::printf("\nThis process idle, with the player created and nothing played: VmHWM %ld KiB.\n",
        idleKib);
    std::printf(
        "Medians of %d runs. Times run to the first 300 ms of the endpoint's tone at the null "
        "sink\n"
        "(onset read to about 25 ms; the sound server renders a little ahead of the clock):\n"
        "player from the put of URL; mpv warm from a loadfile sent to an idle mpv (the same\n"
        "situation); mpv cold from starting `mpv --no-video URL` (its start-up included).\n"
        "Player VmHWM is the peak of this whole process (player, Qt and the recorder) from the "
        "put\n"
        "on; mpv VmHWM that of the idle mpv. CPU is the share of one core while playing.\n"
        "\"none\": no tone within 20 s (mpv reads no ASX playlists).\n"
        "Failing endpoints, each put while a station plays: stall is the longest time the event "
        "loop\n"
        "stood still while the rest of the process ran; gap the longest time between its ticks "
        "however\nit came about.\n",
        runs);
    platform::putProperty(wm, "URL", QString());
    return 0;
}
