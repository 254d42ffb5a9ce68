#include "sinkrecorder.h"

#include "serverprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>

namespace testsupport {

SinkRecorder::SinkRecorder(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
}

SinkRecorder::~SinkRecorder()
{
    stop();
}

bool SinkRecorder::start(
    const QProcessEnvironment &pulseClient, const QString &source, QString *error)
{
    const QString parec
        = findProgram(QStringLiteral("parec"), QStringLiteral("pulseaudio-utils"), error);
    if (parec.isEmpty()) {
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(pulseClient);
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->setProgram(parec);
    m_process->setArguments({ QStringLiteral("-d"), source, QStringLiteral("--raw"),
        QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(sampleRate),
        QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20") });
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &SinkRecorder::pump);
    m_process->start(QIODevice::ReadOnly);
    if (!m_process->waitForStarted(5000)) {
        *error = QStringLiteral("parec could not start: %1").arg(m_process->errorString());
        return false;
    }
    // The monitor delivers continuously (silence included); wait for the first data.
    QDeadlineTimer deadline(5000);
    while (m_samples.empty()) {
        if (m_process->state() == QProcess::NotRunning || deadline.hasExpired()) {
            *error = QStringLiteral("parec delivered nothing from %1: %2")
                         .arg(source, QString::fromUtf8(m_process->readAllStandardError()));
            return false;
        }
        idle(20);
    }
    return true;
}

void SinkRecorder::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
}

void SinkRecorder::pump()
{
    if (!m_process) {
        return;
    }
    m_pending += m_process->readAllStandardOutput();
    const qsizetype count = m_pending.size() / 2;
    if (count == 0) {
        return;
    }
    const size_t old = m_samples.size();
    m_samples.resize(old + size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        std::int16_t value;
        std::memcpy(&value, m_pending.constData() + 2 * i, 2);
        m_samples[old + size_t(i)] = float(value) / 32768.0f;
    }
    m_pending.remove(0, count * 2);
    m_arrivals.push_back({ m_base + qint64(m_samples.size()), now() });
}

void SinkRecorder::idle(int ms)
{
    QDeadlineTimer deadline(ms);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (m_process) {
            m_process->waitForReadyRead(5);
        }
        pump();
    } while (!deadline.hasExpired());
}

void SinkRecorder::forgetBefore(qint64 ms)
{
    const qint64 index = sampleIndexAt(ms);
    if (index <= m_base) {
        return;
    }
    m_samples.erase(m_samples.begin(), m_samples.begin() + (index - m_base));
    m_samples.shrink_to_fit();
    m_base = index;
    const auto keep = std::lower_bound(m_arrivals.begin(), m_arrivals.end(), index,
        [](const Arrival &a, qint64 i) { return a.endIndex < i; });
    m_arrivals.erase(m_arrivals.begin(), keep == m_arrivals.end() ? keep - 1 : keep);
}

qint64 SinkRecorder::timeOfSample(qint64 index) const
{
    if (m_arrivals.empty()) {
        return 0;
    }
    const auto it = std::lower_bound(m_arrivals.begin(), m_arrivals.end(), index,
        [](const Arrival &a, qint64 i) { return a.endIndex < i; });
    const Arrival &a = it == m_arrivals.end() ? m_arrivals.back() : *it;
    return a.ms - (a.endIndex - index) * 1000 / sampleRate;
}

qint64 SinkRecorder::sampleIndexAt(qint64 ms) const
{
    if (m_arrivals.empty()) {
        return 0;
    }
    const auto it = std::lower_bound(m_arrivals.begin(), m_arrivals.end(), ms,
        [](const Arrival &a, qint64 t) { return a.ms < t; });
    const Arrival &a = it == m_arrivals.end() ? m_arrivals.back() : *it;
    const qint64 index = a.endIndex - (a.ms - ms) * sampleRate / 1000;
    return std::clamp<qint64>(index, m_base, m_base + qint64(m_samples.size()));
}

std::vector<float> SinkRecorder::samples(qint64 fromMs, qint64 toMs) const
{
    const qint64 first = sampleIndexAt(fromMs);
    const qint64 last = std::max(first, sampleIndexAt(toMs));
    return std::vector<float>(
        m_samples.begin() + (first - m_base), m_samples.begin() + (last - m_base));
}

QList<SinkRecorder::Window> SinkRecorder::windows(qint64 fromMs, qint64 toMs, int windowMs,
    int stepMs, const std::vector<double> &frequencies) const
{
    QList<Window> out;
    const qint64 length = qint64(windowMs) * sampleRate / 1000;
    const qint64 step = qint64(stepMs) * sampleRate / 1000;
    const qint64 end = sampleIndexAt(toMs);
    for (qint64 i = sampleIndexAt(fromMs); i + length <= end; i += step) {
        const std::span<const float> window(m_samples.data() + (i - m_base), size_t(length));
        out.append({ timeOfSample(i), readTones(window, sampleRate, frequencies) });
    }
    return out;
}

std::optional<qint64> SinkRecorder::waitForTone(double frequency, qint64 sinceMs, int timeoutMs,
    int holdMs, const std::function<bool()> &giveUp)
{
    QDeadlineTimer deadline(timeoutMs);
    const int windowMs = 100;
    const int needed = std::max(1, holdMs / windowMs);
    qint64 scanned = sinceMs;
    int run = 0;
    qint64 runStart = 0;
    for (;;) {
        idle(50);
        const qint64 until = now();
        for (const Window &w : windows(scanned, until, windowMs, windowMs, { frequency })) {
            const bool sounding
                = w.reading.rms > silenceRms * 4 && w.reading.shares[0] >= toneShareThreshold;
            if (sounding) {
                if (run++ == 0) {
                    runStart = w.startMs;
                }
                if (run >= needed) {
                    return onset(frequency, runStart);
                }
            } else {
                run = 0;
            }
            scanned = w.startMs + windowMs;
        }
        if (deadline.hasExpired() || (giveUp && giveUp())) {
            return std::nullopt;
        }
    }
}

qint64 SinkRecorder::onset(double frequency, qint64 aroundMs) const
{
    // Sound can begin anywhere in a 100 ms window, and the stream before may still be fading
    // out: slide a 50 ms window in 10 ms steps and take the middle of the first one where the
    // tone holds the greater part of the power.
    for (const Window &w : windows(aroundMs - 100, aroundMs + 150, 50, 10, { frequency })) {
        if (w.reading.rms > silenceRms * 4 && w.reading.shares[0] >= toneShareThreshold) {
            return w.startMs + 25;
        }
    }
    return aroundMs;
}

std::optional<qint64> SinkRecorder::waitForSilence(qint64 sinceMs, int timeoutMs, int holdMs)
{
    QDeadlineTimer deadline(timeoutMs);
    const int windowMs = 50;
    const int needed = std::max(1, holdMs / windowMs);
    qint64 scanned = sinceMs;
    int run = 0;
    qint64 runStart = 0;
    for (;;) {
        idle(50);
        for (const Window &w : windows(scanned, now(), windowMs, windowMs, {})) {
            if (w.reading.rms <= silenceRms) {
                if (run++ == 0) {
                    runStart = w.startMs;
                }
                if (run >= needed) {
                    return runStart;
                }
            } else {
                run = 0;
            }
            scanned = w.startMs + windowMs;
        }
        if (deadline.hasExpired()) {
            return std::nullopt;
        }
    }
}

bool SinkRecorder::silentBetween(qint64 fromMs, qint64 toMs) const
{
    const auto all = windows(fromMs, toMs, 50, 50, {});
    return std::all_of(
        all.begin(), all.end(), [](const Window &w) { return w.reading.rms <= silenceRms; });
}

QString SinkRecorder::describe(qint64 fromMs, qint64 toMs) const
{
    const auto all = windows(fromMs, toMs, 200, 200, {});
    if (all.isEmpty()) {
        return QStringLiteral("nothing recorded");
    }
    const auto loudest = std::max_element(all.begin(), all.end(),
        [](const Window &a, const Window &b) { return a.reading.rms < b.reading.rms; });
    return QStringLiteral("loudest window at %1 ms: rms %2, peak %3 Hz")
        .arg(loudest->startMs)
        .arg(loudest->reading.rms, 0, 'g', 3)
        .arg(loudest->reading.peakFrequency, 0, 'f', 0);
}

} // namespace testsupport
