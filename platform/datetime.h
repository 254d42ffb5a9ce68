#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace platform {

// The date alone in the user's short-date format. Where the locale has no regional settings of
// its own (the C locale), a numeric date, year first.
QString dateText(const QDate &date, const QLocale &locale = QLocale::system());

// The time of day alone in the user's time format with hours, minutes and seconds, without the
// time zone's name. Where the locale gives no such format, hh:mm:ss on a 24-hour clock.
QString timeText(const QTime &time, const QLocale &locale = QLocale::system());

// The time format used by timeText: the locale's long time format without time-zone fields.
QString timeFormatWithSeconds(const QLocale &locale);

} // namespace platform
