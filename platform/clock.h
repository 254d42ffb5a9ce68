#pragma once

#include "platform/alarm.h"

#include <QDate>
#include <QObject>
#include <QTime>

namespace platform {

// The wall clock behind the runtime's current date and current time of day: the system's clock,
// read later by an offset that only tests set (to stand just before a turn of the second or of
// the day).
qint64 currentMSecsSinceEpoch();
QDate currentDate();
QTime currentTime();
void setClockOffset(qint64 msecs);

// Raises secondTurned() right after every whole second of the wall clock for as long as anything
// is connected to it. Everything paced by the wall clock wakes the program together, once a
// second, from one alarm (WallClockAlarm) set again from the clock after each turn (so a clock
// that is set or slewed is followed within a second); whatever else has an alarm for the turn
// wakes with it.
class SecondTicker : public QObject
{
    Q_OBJECT

public:
    // The one ticker of the application; made on first use, it ends with the application.
    static SecondTicker &instance();

signals:
    void secondTurned();

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    explicit SecondTicker(QObject *parent);
    void arm();
    void turn();
    bool isListenedTo() const;

    WallClockAlarm m_alarm;
};

} // namespace platform
