// Memory over station switches: the media player is handed one playable endpoint after another
// (every kind in turn, each played until its tone is heard at a private PulseAudio null sink and
// then for --hold seconds), and after every --every switches it prints the resident memory, the
// allocator's figures and the number of threads. Run it under heaptrack to see where the memory
// of a switch goes.
//
//   bench_player_switches [--switches N] [--every K] [--hold SECONDS] [--measure SECONDS]
//                         [--mute-latency]

#include "pulseserver.h"
#include "radiotestservers.h"
#include "sinkrecorder.h"

#include "platform/runtime.h"
#include "player/view/component.h"
#include "player/view/settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

long statusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray key(field);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// Heap arenas in use: glibc reports one <heap> element per arena in malloc_info's XML.
int arenaCount()
{
    char *text = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&text, &size);
    if (!stream) {
        return -1;
    }
    malloc_info(0, stream);
    std::fclose(stream);
    const int count = QByteArray(text, int(size)).count("<heap nr=");
    std::free(text);
    return count;
}

void printRow(int switches)
{
    const struct mallinfo2 info = mallinfo2();
    std::printf("%8d %10ld %10ld %10zu %10zu %10zu %7d %7d\n", switches, statusKib("VmRSS:"),
        statusKib("VmHWM:"), info.arena / 1024, info.uordblks / 1024, info.fordblks / 1024,
        arenaCount(), int(QDir(QStringLiteral("/proc/self/task")).count()) - 2);
    std::fflush(stdout);
}

struct ThreadUse
{
    QString name;
    long long ticks = 0;
    long long wakeUps = 0;
};

// CPU ticks and voluntary context switches (wake-ups) of each thread of this process.
QMap<QString, ThreadUse> threadUse()
{
    QMap<QString, ThreadUse> use;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        QFile status(tasks.filePath(tid + QStringLiteral("/status")));
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        ThreadUse t;
        t.name = QString::fromUtf8(
            text.mid(text.indexOf('(') + 1, text.lastIndexOf(')') - text.indexOf('(') - 1));
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        t.ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:")) {
                t.wakeUps = line.mid(24).trimmed().toLongLong();
            }
        }
        use.insert(tid, t);
    }
    return use;
}

// Plays on for `ms` without the recorder taking anything in (it would cost CPU of its own),
// then prints each thread's share of a core and its wake-ups a second.
void measureThreads(int ms)
{
    const QMap<QString, ThreadUse> before = threadUse();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const QMap<QString, ThreadUse> after = threadUse();
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double tick = double(sysconf(_SC_CLK_TCK));
    double total = 0;
    std::printf("\n%-20s %8s %12s\n", "thread", "CPU %", "wake-ups/s");
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const ThreadUse was = before.value(it.key());
        const double cpu = 100.0 * double(it->ticks - was.ticks) / tick / seconds;
        total += cpu;
        std::printf("%-20s %8.2f %12.1f\n", qPrintable(it->name), cpu,
            double(it->wakeUps - was.wakeUps) / seconds);
    }
    std::printf("%-20s %8.2f  (threads that ended meanwhile not counted)\n\n", "all", total);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Media player memory over switches"));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("switches"), QStringLiteral("Switches in all."),
        QStringLiteral("n"), QStringLiteral("60") });
    parser.addOption({ QStringLiteral("every"), QStringLiteral("Print a row every k switches."),
        QStringLiteral("k"), QStringLiteral("10") });
    parser.addOption({ QStringLiteral("hold"), QStringLiteral("Seconds each station plays."),
        QStringLiteral("s"), QStringLiteral("1") });
    parser.addOption({ QStringLiteral("measure"),
        QStringLiteral("After the last switch, play on this long and print the CPU and wake-ups "
                       "of each thread."),
        QStringLiteral("s"), QStringLiteral("0") });
    parser.addOption({ QStringLiteral("mute-latency"),
        QStringLiteral("After the last switch, measure how soon mute and unmute are heard.") });
    parser.process(app);
    const int switches = std::max(1, parser.value(QStringLiteral("switches")).toInt());
    const int every = std::max(1, parser.value(QStringLiteral("every")).toInt());
    const int holdMs = int(parser.value(QStringLiteral("hold")).toDouble() * 1000);

    QString error;
    PulseServer pulse;
    SinkRecorder recorder;
    RadioTestServers servers;
    if (!pulse.start(&error)
        || !recorder.start(
            pulse.clientEnvironment(), QLatin1String(PulseServer::monitorName), &error)
        || !servers.start(&error)) {
        std::fprintf(stderr, "bench_player_switches: %s\n", qPrintable(error));
        return 2;
    }
    QWidget window;
    QWidget *wm = player::createMediaPlayer(&window, player::encodeMediaPlayerSettings({}));
    wm->setGeometry(0, 128, 249, 153);
    window.resize(246, 325);
    window.show();

    const QList<Endpoint> endpoints = servers.playable();
    std::printf("%8s %10s %10s %10s %10s %10s %7s %7s\n", "switches", "RSS KiB", "HWM KiB",
        "arena KiB", "used KiB", "free KiB", "arenas", "threads");
    printRow(0);
    int silent = 0;
    for (int i = 1; i <= switches; ++i) {
        const Endpoint &e = endpoints.at((i - 1) % endpoints.size());
        recorder.forgetBefore(recorder.now() - 2000);
        const qint64 t = recorder.now();
        platform::putProperty(wm, "URL", e.url);
        if (!recorder.waitForTone(e.frequency, t, 20000, 300)) {
            ++silent;
            std::fprintf(stderr, "no tone from %s\n", qPrintable(e.kind));
        }
        recorder.record(holdMs);
        if (i % every == 0) {
            printRow(i);
        }
    }
    if (parser.isSet(QStringLiteral("mute-latency"))) {
        // How soon a mute is heard, and the sound again after it: what the engine's buffers
        // cost the listener.
        const Endpoint &last = endpoints.at((switches - 1) % endpoints.size());
        std::vector<qint64> muted, back;
        for (int i = 0; i < 5; ++i) {
            const qint64 t = recorder.now();
            platform::putProperty(wm, "mute", true);
            if (const auto silent = recorder.waitForSilence(t, 5000, 200)) {
                muted.push_back(*silent - t);
            }
            const qint64 u = recorder.now();
            platform::putProperty(wm, "mute", false);
            if (const auto heard = recorder.waitForTone(last.frequency, u, 5000, 200)) {
                back.push_back(*heard - u);
            }
            recorder.record(500);
        }
        std::sort(muted.begin(), muted.end());
        std::sort(back.begin(), back.end());
        std::printf("mute heard after %lld ms, sound back after %lld ms (medians of 5)\n",
            muted.empty() ? -1LL : muted[muted.size() / 2],
            back.empty() ? -1LL : back[back.size() / 2]);
    }
    if (const int measureMs = int(parser.value(QStringLiteral("measure")).toDouble() * 1000)) {
        // The recorder would wake this thread for every piece of sound it takes in.
        recorder.stop();
        measureThreads(measureMs);
    }
    platform::putProperty(wm, "URL", QString());
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("stopped, %d silent of %d:\n", silent, switches);
    printRow(switches);
    std::printf("KiB; arena: bytes the allocator holds from the system (all arenas, without "
                "large mmapped blocks);\nused/free: of those, in use and free.\n");
    return 0;
}
