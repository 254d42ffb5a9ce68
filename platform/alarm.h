#pragma once

#include <QObject>

namespace platform {

// The wall clock's grid for ticks every `periodMsecs`: a period that divides a second, or is a
// whole number of seconds, has its ticks on the whole multiples of the period since the epoch
// (every 200 ms: .000, .200, .400 ... of each second), so that the one at .000 falls on the turn
// of the second. Other periods have no grid.
bool hasWallClockGrid(int periodMsecs);

// The first point of the grid of `periodMsecs` at or after a reading of the wall clock.
qint64 gridPointAtOrAfter(qint64 msecsSinceEpoch, int periodMsecs);

// An alarm on the wall clock (platform::currentMSecsSinceEpoch): raises rang() once, right after
// the clock reaches the instant it is set for. Every alarm of the user-interface thread is
// served by one precise timer, so alarms set for the same instant ring in the same wake-up of
// the program, one after another in the order they were set. A clock set back to before the
// moment an alarm was set rings it when its time would have come, not hours later; the owner
// reads the clock again and sets the next one from there.
class WallClockAlarm : public QObject
{
    Q_OBJECT

public:
    explicit WallClockAlarm(QObject *parent = nullptr);
    ~WallClockAlarm() override;

    // Replaces any instant set before.
    void setFor(qint64 msecsSinceEpoch);
    void cancel();
    bool isSet() const { return m_set; }
    qint64 instant() const { return m_instant; }

signals:
    void rang();

private:
    friend class AlarmBell;

    qint64 m_instant = 0;
    qint64 m_setAt = 0; // the clock's reading when it was set
    bool m_set = false;
};

} // namespace platform
