#include "ui/timercontrol.h"

#include "platform/alarm.h"
#include "platform/clock.h"

#include <QEvent>
#include <QWidget>

namespace ui {

TimerControl::TimerControl(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_next.setSingleShot(true);
    m_next.setTimerType(Qt::PreciseTimer);
    connect(&m_next, &QTimer::timeout, this, &TimerControl::onNext);
    connect(&m_alarm, &platform::WallClockAlarm::rang, this, &TimerControl::onAlarm);
    if (window) {
        window->installEventFilter(this);
    }
}

void TimerControl::setInterval(int msecs)
{
    m_interval = std::max(0, msecs);
    restart();
}

void TimerControl::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void TimerControl::setPace(Pace pace)
{
    m_pace = pace;
    schedule();
}

bool TimerControl::windowOnScreen() const
{
    return m_window && m_window->isVisible() && !m_window->isMinimized();
}

qint64 TimerControl::ticksDue() const
{
    if (!isRunning()) {
        return 0;
    }
    const qint64 since = m_since.elapsed() - m_phase;
    return std::max(since < 0 ? 0 : since / m_interval, m_surelyDue);
}

void TimerControl::restart()
{
    m_since.start();
    m_delivered = 0;
    m_surelyDue = 0;
    m_phase = 0;
    if (isRunning() && platform::hasWallClockGrid(m_interval)) {
        const qint64 now = platform::currentMSecsSinceEpoch();
        m_phase = platform::gridPointAtOrAfter(now + m_interval, m_interval) - now - m_interval;
    }
    schedule();
}

void TimerControl::followTicker(bool follow)
{
    if (follow == m_onTicker) {
        return;
    }
    m_onTicker = follow;
    auto &ticker = platform::SecondTicker::instance();
    if (follow) {
        connect(&ticker, &platform::SecondTicker::secondTurned, this, &TimerControl::deliverDue);
    } else {
        disconnect(&ticker, &platform::SecondTicker::secondTurned, this, &TimerControl::deliverDue);
    }
}

void TimerControl::schedule()
{
    if (!isRunning()) {
        m_next.stop();
        m_alarm.cancel();
        followTicker(false);
        return;
    }
    // In whole-second pace the first tick still comes one interval after the start.
    const bool byTheSecond = !windowOnScreen() || (m_pace == Pace::WholeSeconds && m_delivered > 0);
    followTicker(byTheSecond);
    if (byTheSecond) {
        m_next.stop();
        m_alarm.cancel();
        return;
    }
    const qint64 tick = m_delivered + 1;
    const qint64 wait = m_phase + tick * m_interval - m_since.elapsed();
    if (wait <= 0 || !platform::hasWallClockGrid(m_interval)) {
        m_alarm.cancel();
        m_next.start(int(std::clamp<qint64>(wait, 0, m_interval)));
        return;
    }
    m_next.stop();
    // The tick's instant on the wall clock, put on the nearest point of the grid. The phase is
    // measured again each time: a wall clock that was set moves the grid, and the ticks follow.
    const qint64 at = platform::currentMSecsSinceEpoch() + wait;
    const qint64 onGrid = platform::gridPointAtOrAfter(at - m_interval / 2, m_interval);
    m_phase += onGrid - at;
    m_alarmTick = tick;
    m_alarm.setFor(onGrid);
}

void TimerControl::onAlarm()
{
    // Its tick is due, even where the wall clock's reading and the interval's count round apart.
    m_surelyDue = std::max(m_surelyDue, m_alarmTick);
    onNext();
}

void TimerControl::onNext()
{
    const QPointer<TimerControl> alive(this);
    deliverDue();
    // A handler may have ended the window, and this control with it.
    if (alive) {
        schedule();
    }
}

void TimerControl::deliverDue()
{
    const qint64 due = ticksDue();
    if (due <= m_delivered) {
        return;
    }
    const QPointer<TimerControl> alive(this);
    if (m_pace == Pace::WholeSeconds) {
        m_delivered = due;
        emit Timer();
        return;
    }
    while (alive && m_delivered < due && isRunning()) {
        ++m_delivered;
        emit Timer();
    }
}

bool TimerControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            // The ticks due are delivered as soon as the event at hand is done (no handler runs
            // inside another): a window that comes back shows its controls current at once.
            if (isRunning()) {
                followTicker(false);
                m_next.start(0);
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui
