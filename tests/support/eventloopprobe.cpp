#include "eventloopprobe.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include <algorithm>

namespace testsupport {

using namespace std::chrono_literals;

EventLoopProbe::EventLoopProbe(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopProbe::tick);
}

EventLoopProbe::~EventLoopProbe()
{
    stop();
}

void EventLoopProbe::start()
{
    reset();
    m_timer.start();
    if (!m_referenceRunning.exchange(true)) {
        m_reference = std::thread([this] {
            while (m_referenceRunning) {
                std::this_thread::sleep_for(10ms);
                const auto now = Clock::now();
                std::lock_guard lock(m_referenceMutex);
                m_referenceTicks.push_back(now);
                while (!m_referenceTicks.empty() && now - m_referenceTicks.front() > 30s) {
                    m_referenceTicks.pop_front();
                }
            }
        });
    }
}

void EventLoopProbe::stop()
{
    m_timer.stop();
    if (m_referenceRunning.exchange(false)) {
        m_reference.join();
    }
}

void EventLoopProbe::reset()
{
    m_origin = Clock::now();
    m_haveLast = false;
    m_longestGap = 0;
    m_longestStall = 0;
    m_longestStallEnd = 0;
    m_ticks = 0;
    m_dialogs.clear();
}

qint64 EventLoopProbe::msSince(Clock::time_point t) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - m_origin).count();
}

qint64 EventLoopProbe::referenceGapMs(Clock::time_point from, Clock::time_point to)
{
    std::lock_guard lock(m_referenceMutex);
    // The reference ticks from the last one at or before `from` up to `to`, and `to` itself:
    // a reference thread that has not ticked since counts as waiting until then.
    auto first = std::upper_bound(m_referenceTicks.begin(), m_referenceTicks.end(), from);
    if (first != m_referenceTicks.begin()) {
        --first;
    }
    Clock::duration longest {};
    Clock::time_point previous = first == m_referenceTicks.end() ? from : *first;
    for (auto it = first; it != m_referenceTicks.end() && *it <= to; ++it) {
        longest = std::max(longest, *it - previous);
        previous = *it;
    }
    longest = std::max(longest, to - previous);
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
}

void EventLoopProbe::tick()
{
    const auto now = Clock::now();
    if (m_haveLast) {
        const qint64 gap
            = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_last).count();
        m_longestGap = std::max(m_longestGap, gap);
        if (gap > 20) {
            const qint64 stall = std::max<qint64>(0, gap - referenceGapMs(m_last, now));
            if (stall > m_longestStall) {
                m_longestStall = stall;
                m_longestStallEnd = msSince(now);
            }
        }
    }
    m_last = now;
    m_haveLast = true;
    ++m_ticks;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<QDialog *>(widget)) {
            const QString what
                = QStringLiteral("%1 \"%2\"")
                      .arg(QLatin1String(widget->metaObject()->className()), widget->windowTitle());
            if (!m_dialogs.contains(what)) {
                m_dialogs.append(what);
            }
        }
    }
}

} // namespace testsupport
