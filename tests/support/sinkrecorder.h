#pragma once

#include "toneanalysis.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace testsupport {

// Records what the null sink plays (parec on its monitor, 16 kHz mono) for the whole life of the
// object and answers questions about it by time. Times are milliseconds on the recorder's own
// monotonic clock (now()); each sample's time is taken from when its chunk arrived.
class SinkRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SinkRecorder(QObject *parent = nullptr);
    ~SinkRecorder() override;

    bool start(const QProcessEnvironment &pulseClient, const QString &source, QString *error);
    void stop();

    static constexpr int sampleRate = 16000;

    qint64 now() const { return m_clock.elapsed(); }
    // Takes in what parec has delivered so far.
    void pump();
    // Runs the event loop for ms while recording.
    void record(int ms) { idle(ms); }

    // The samples between two times (as far as recorded).
    std::vector<float> samples(qint64 fromMs, qint64 toMs) const;
    // Readings of consecutive windows of windowMs, stepping by stepMs, between two times.
    struct Window
    {
        qint64 startMs;
        ToneReading reading;
    };
    QList<Window> windows(qint64 fromMs, qint64 toMs, int windowMs, int stepMs,
        const std::vector<double> &frequencies) const;

    // Waits, running the event loop, until `frequency` sounds (dominant, above silence) through
    // windows covering holdMs, looking from sinceMs on. Returns the time the sound began.
    // `giveUp`, when given, ends the wait early (say, when the program meant to play has ended).
    std::optional<qint64> waitForTone(double frequency, qint64 sinceMs, int timeoutMs,
        int holdMs = 400, const std::function<bool()> &giveUp = {});
    // Waits until the sink is silent for holdMs from sinceMs on; returns when silence began.
    std::optional<qint64> waitForSilence(qint64 sinceMs, int timeoutMs, int holdMs = 500);
    // True when no window between the two times rises above silence.
    bool silentBetween(qint64 fromMs, qint64 toMs) const;
    // Drops what was recorded before a time (long runs keep memory flat).
    void forgetBefore(qint64 ms);
    // The dominant frequency of the loudest recent stretch, for messages.
    QString describe(qint64 fromMs, qint64 toMs) const;

private:
    qint64 onset(double frequency, qint64 aroundMs) const;
    qint64 sampleIndexAt(qint64 ms) const;
    qint64 timeOfSample(qint64 index) const;
    // Runs the event loop for a little while and takes in new samples.
    void idle(int ms);

    std::unique_ptr<QProcess> m_process;
    QElapsedTimer m_clock;
    std::vector<float> m_samples; // from sample number m_base on
    qint64 m_base = 0;
    QByteArray m_pending;
    struct Arrival
    {
        qint64 endIndex;
        qint64 ms;
    };
    std::vector<Arrival> m_arrivals;
};

} // namespace testsupport
