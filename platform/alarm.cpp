#include "platform/alarm.h"

#include "platform/clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <vector>

namespace platform {

bool hasWallClockGrid(int periodMsecs)
{
    return periodMsecs > 0 && (1000 % periodMsecs == 0 || periodMsecs % 1000 == 0);
}

qint64 gridPointAtOrAfter(qint64 msecsSinceEpoch, int periodMsecs)
{
    const qint64 into = ((msecsSinceEpoch % periodMsecs) + periodMsecs) % periodMsecs;
    return into == 0 ? msecsSinceEpoch : msecsSinceEpoch - into + periodMsecs;
}

// The one timer behind the alarms that are set, armed for the earliest of them.
class AlarmBell : public QObject
{
public:
    static AlarmBell *instance()
    {
        static QPointer<AlarmBell> bell;
        if (!bell && QCoreApplication::instance()) {
            bell = new AlarmBell(QCoreApplication::instance());
        }
        return bell;
    }

    void add(WallClockAlarm *alarm)
    {
        std::erase(m_alarms, alarm);
        m_alarms.push_back(alarm);
        arm();
    }

    void remove(WallClockAlarm *alarm)
    {
        std::erase(m_alarms, alarm);
        arm();
    }

private:
    explicit AlarmBell(QObject *parent)
        : QObject(parent)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &AlarmBell::ring);
    }

    static bool isDue(const WallClockAlarm *alarm, qint64 now)
    {
        return now >= alarm->m_instant || now < alarm->m_setAt;
    }

    void arm()
    {
        // While ringing, the alarms that the ringing ones set again are armed once, at the end.
        if (m_ringing) {
            return;
        }
        if (m_alarms.empty()) {
            m_timer.stop();
            return;
        }
        const qint64 now = currentMSecsSinceEpoch();
        qint64 wait = std::numeric_limits<int>::max();
        for (const WallClockAlarm *alarm : m_alarms) {
            // One millisecond past the instant: the reading is truncated to whole milliseconds, and
            // the wall clock may run a little slower than the monotonic one the timer counts.
            wait = std::min(wait, isDue(alarm, now) ? 0 : alarm->m_instant - now + 1);
        }
        m_timer.start(int(wait));
    }

    void ring()
    {
        const qint64 now = currentMSecsSinceEpoch();
        std::vector<QPointer<WallClockAlarm>> due;
        std::erase_if(m_alarms, [&](WallClockAlarm *alarm) {
            if (!isDue(alarm, now)) {
                return false;
            }
            alarm->m_set = false;
            due.emplace_back(alarm);
            return true;
        });
        m_ringing = true;
        for (const QPointer<WallClockAlarm> &alarm : due) {
            // An earlier one may have ended it, or set it again.
            if (alarm && !alarm->m_set) {
                emit alarm->rang();
            }
        }
        m_ringing = false;
        arm();
    }

    QTimer m_timer;
    std::vector<WallClockAlarm *> m_alarms;
    bool m_ringing = false;
};

WallClockAlarm::WallClockAlarm(QObject *parent)
    : QObject(parent)
{
}

WallClockAlarm::~WallClockAlarm()
{
    cancel();
}

void WallClockAlarm::setFor(qint64 msecsSinceEpoch)
{
    AlarmBell *bell = AlarmBell::instance();
    if (!bell) {
        return;
    }
    m_instant = msecsSinceEpoch;
    m_setAt = currentMSecsSinceEpoch();
    m_set = true;
    bell->add(this);
}

void WallClockAlarm::cancel()
{
    if (!m_set) {
        return;
    }
    m_set = false;
    if (AlarmBell *bell = AlarmBell::instance()) {
        bell->remove(this);
    }
}

} // namespace platform
