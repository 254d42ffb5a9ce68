#pragma once

#include "platform/alarm.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace ui {

// A timer control of a window: raises Timer every Interval milliseconds while Enabled, on the
// user-interface thread, also while its window is hidden or minimised. The ticks are due one
// interval apart, and none is ever dropped. An interval that divides a second (or is a whole
// number of seconds) has its ticks on the wall clock's grid (platform::hasWallClockGrid: every
// 200 ms at .000, .200, .400 ... of each second), the first at the first grid point one interval
// or more after the start: the program then wakes once for all that is due at the same instant,
// the turn of the second included. Other intervals have them at whole multiples of the interval
// from the start. When each tick is delivered is the control's business, as long as no
// handler's visible result shows later than it would with a tick at each of those times:
// - Pace::EveryInterval: each tick at its time (several at once after a stall).
// - Pace::WholeSeconds, for a handler whose visible result changes only when the wall clock's
//   second turns: the first tick after one interval, then one tick right after each whole second
//   of the wall clock (the ticks in between would show nothing new).
// - While the window is not on screen (hidden or minimised) nobody sees a result: the ticks due
//   are delivered together right after each whole second of the wall clock, and at once when the
//   window comes back.
class TimerControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Interval READ interval WRITE setInterval)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)

public:
    enum class Pace { EveryInterval, WholeSeconds };

    // A control of `window`, which owns it; it starts running once an interval is set.
    explicit TimerControl(QWidget *window);

    // 0 stops the ticks.
    int interval() const { return m_interval; }
    void setInterval(int msecs);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isRunning() const { return m_enabled && m_interval > 0; }

    Pace pace() const { return m_pace; }
    void setPace(Pace pace);

    // Ticks delivered (or, in whole-second pace, accounted for) since the control last started.
    qint64 ticksDelivered() const { return m_delivered; }
    // The instant of the wall clock the control last set a tick on its grid for; 0 for none.
    qint64 lastTickSetFor() const { return m_alarm.instant(); }

signals:
    void Timer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();
    void deliverDue();
    void schedule();
    void onNext();
    void onAlarm();
    bool windowOnScreen() const;
    qint64 ticksDue() const;
    void followTicker(bool follow);

    QPointer<QWidget> m_window;
    QTimer m_next;
    platform::WallClockAlarm m_alarm; // for the next tick, on the grid
    QElapsedTimer m_since;
    qint64 m_phase = 0; // tick k is due k intervals and this many milliseconds after the start
    qint64 m_delivered = 0;
    qint64 m_alarmTick = 0; // the tick m_alarm is set for
    qint64 m_surelyDue = 0; // a tick whose alarm rang, due whatever the clock readings say
    int m_interval = 0;
    bool m_enabled = true;
    bool m_onTicker = false;
    Pace m_pace = Pace::EveryInterval;
};

} // namespace ui
