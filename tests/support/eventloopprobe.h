#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace testsupport {

// Watches the user-interface thread while a test runs: a 10 ms timer notes the longest gap
// between its ticks (a stalled event loop shows as a long gap), and every tick looks for a
// dialog (any visible QDialog, message boxes included) among the top-level widgets.
//
// On a busy machine the whole process can wait for a core now and then; that is no stall of
// the event loop. A reference thread ticks every 10 ms beside it, and a gap counts as a stall
// only by how much it exceeds the reference thread's own longest gap over the same time.
class EventLoopProbe : public QObject
{
    Q_OBJECT
public:
    explicit EventLoopProbe(QObject *parent = nullptr);
    ~EventLoopProbe() override;

    void start();
    void stop();
    void reset();

    // Longest gap between ticks of the event loop, however it came about.
    qint64 longestGapMs() const { return m_longestGap; }
    // Longest time the event loop stood still while the rest of the process ran.
    qint64 longestStallMs() const { return m_longestStall; }
    // When the longest stall ended, in ms after the last start or reset.
    qint64 longestStallEndMs() const { return m_longestStallEnd; }
    qint64 ticks() const { return m_ticks; }
    // Class and title of every dialog seen since the last reset.
    QStringList dialogsSeen() const { return m_dialogs; }

private:
    using Clock = std::chrono::steady_clock;
    void tick();
    qint64 referenceGapMs(Clock::time_point from, Clock::time_point to);
    qint64 msSince(Clock::time_point t) const;

    QTimer m_timer;
    Clock::time_point m_origin;
    Clock::time_point m_last;
    bool m_haveLast = false;
    qint64 m_longestGap = 0;
    qint64 m_longestStall = 0;
    qint64 m_longestStallEnd = 0;
    qint64 m_ticks = 0;
    QStringList m_dialogs;

    std::thread m_reference;
    std::atomic<bool> m_referenceRunning { false };
    std::mutex m_referenceMutex;
    std::deque<Clock::time_point> m_referenceTicks;
};

} // namespace testsupport
