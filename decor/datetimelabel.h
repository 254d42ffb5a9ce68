#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace decor {

// The date in the user's short-date format, six blanks, then the time of day with seconds.
QString dateTimeText(
    const QDate &date, const QTime &time, const QLocale &locale = QLocale::system());

// Timer1 Timer: renews Label1's caption with the current date and time.
void timer1Timer();

} // namespace decor
