// Per endpoint kind: the time from the put of URL to the first audio at a private PulseAudio null
// sink, for the media player and for bare `mpv --no-video` on the same loopback server, with the
// peak resident memory (VmHWM) and the CPU share of each while it plays. Prints a table.
//
//   bench_player_startup [--runs N] [--hold SECONDS] [--only KIND]

#include "pulseserver.h"
#include "radiotestservers.h"
#include "sinkrecorder.h"

#include "platform/runtime.h"
#include "player/mediaplayer.h"
#include "player/settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QProcess>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <csignal>
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
    m.cpuPercent = 100.0 * double(ticksAfter - ticksBefore) / double(sysconf(_SC_CLK_TCK)) / seconds;
    m.peakKib = peakRssKib(pid);
}

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
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Runs per endpoint (median shown)."), QStringLiteral("n"), QStringLiteral("1") });
    parser.addOption({ QStringLiteral("hold"), QStringLiteral("Seconds of playing measured."), QStringLiteral("s"), QStringLiteral("4") });
    parser.addOption({ QStringLiteral("only"), QStringLiteral("Only this endpoint kind."), QStringLiteral("kind") });
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const int holdMs = std::max(1, parser.value(QStringLiteral("hold")).toInt()) * 1000;

    QString error;
    const QString mpv = findProgram(QStringLiteral("mpv"), QStringLiteral("mpv"), &error);
    PulseServer pulse;
    SinkRecorder recorder;
    RadioTestServers servers;
    if (mpv.isEmpty() || !pulse.start(&error)
        || !recorder.start(pulse.clientEnvironment(), QLatin1String(PulseServer::monitorName), &error)
        || !servers.start(&error)) {
        std::fprintf(stderr, "bench_player_startup: %s\n", qPrintable(error));
        return 2;
    }

    QWidget window;
    QWidget *wm = player::createMediaPlayer(&window, player::encodeMediaPlayerSettings({}));
    wm->setGeometry(0, 128, 249, 153);
    window.resize(246, 325);
    window.show();

    std::printf("%-24s %10s %10s %11s %8s %10s %8s\n", "endpoint", "player ms", "mpv ms", "player KiB",
                "CPU %", "mpv KiB", "CPU %");
    std::printf("%-24s %10s %10s %11s %8s %10s %8s\n", "", "(median)", "(median)", "VmHWM", "player", "VmHWM",
                "mpv");
    std::fflush(stdout);
    const QString self = QString::number(getpid());
    resetPeakRss(self);
    recorder.record(500);
    const long idleKib = peakRssKib(self);
    for (const Endpoint &e : servers.playable()) {
        if (parser.isSet(QStringLiteral("only")) && parser.value(QStringLiteral("only")) != e.kind) {
            continue;
        }
        std::vector<qint64> playerTimes, mpvTimes;
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

            // Bare mpv on the same address.
            QProcess bare;
            bare.setProcessEnvironment(pulse.clientEnvironment());
            bare.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
            const qint64 s = recorder.now();
            bare.start(mpv, { QStringLiteral("--no-config"), QStringLiteral("--no-video"), QStringLiteral("--ao=pulse"),
                              QStringLiteral("--volume=50"), QStringLiteral("--really-quiet"), e.url });
            const auto mpvHeard = recorder.waitForTone(e.frequency, s, 20000, 300, [&bare] {
                return bare.state() == QProcess::NotRunning;
            });
            if (mpvHeard) {
                mpvTimes.push_back(*mpvHeard - s);
                measureWhilePlaying(recorder, QString::number(bare.processId()), holdMs, mpvM);
            }
            bare.terminate();
            if (!bare.waitForFinished(3000)) {
                bare.kill();
                bare.waitForFinished(3000);
            }
        }
        const auto median = [](std::vector<qint64> v) -> std::optional<qint64> {
            if (v.empty()) {
                return std::nullopt;
            }
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("%-24s %10s %10s %11ld %8.1f %10ld %8.1f\n", qPrintable(e.kind),
                    qPrintable(cell(median(playerTimes))), qPrintable(cell(median(mpvTimes))), playerM.peakKib,
                    playerM.cpuPercent, mpvM.peakKib, mpvM.cpuPercent);
        std::fflush(stdout);
    }
    std::printf("\nThis process idle, with the player created and nothing played: VmHWM %ld KiB.\n", idleKib);
    std::printf("Times run from the put of URL (player) or the start of the process (mpv) to the first\n"
                "300 ms of the endpoint's tone at the null sink. Player VmHWM is the peak of this whole process\n"
                "(player, Qt and the recorder) since the put; CPU is the share of one core while playing.\n"
                "\"none\": no tone within 20 s (bare mpv reads no ASX playlists).\n");
    platform::putProperty(wm, "URL", QString());
    return 0;
}
