#include "platform/clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaMethod>
#include <QPointer>

#include <atomic>

namespace platform {

namespace {

std::atomic<qint64> clockOffset { 0 };

QDateTime now()
{
    const QDateTime system = QDateTime::currentDateTime();
    const qint64 offset = clockOffset.load(std::memory_order_relaxed);
    return offset == 0 ? system : system.addMSecs(offset);
}

} // namespace

qint64 currentMSecsSinceEpoch()
{
    return QDateTime::currentMSecsSinceEpoch() + clockOffset.load(std::memory_order_relaxed);
}

QDate currentDate()
{
    return now().date();
}

QTime currentTime()
{
    return now().time();
}

void setClockOffset(qint64 msecs)
{
    clockOffset.store(msecs, std::memory_order_relaxed);
}

SecondTicker &SecondTicker::instance()
{
    static QPointer<SecondTicker> ticker;
    if (!ticker) {
        ticker = new SecondTicker(QCoreApplication::instance());
    }
    return *ticker;
}

SecondTicker::SecondTicker(QObject *parent)
    : QObject(parent)
{
    connect(&m_alarm, &WallClockAlarm::rang, this, &SecondTicker::turn);
}

bool SecondTicker::isListenedTo() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&SecondTicker::secondTurned));
}

void SecondTicker::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&SecondTicker::secondTurned) && !m_alarm.isSet()) {
        arm();
    }
}

void SecondTicker::arm()
{
    // The first whole second after the reading (a reading on the second waits for the next one).
    m_alarm.setFor(gridPointAtOrAfter(currentMSecsSinceEpoch() + 1, 1000));
}

void SecondTicker::turn()
{
    // Nobody left: the ticker sleeps until the next connection.
    if (!isListenedTo()) {
        return;
    }
    emit secondTurned();
    if (isListenedTo() && !m_alarm.isSet()) {
        arm();
    }
}

} // namespace platform
