#include "decor/datetimelabel.h"

#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/runtime.h"
#include "platform/windowregistry.h"

namespace decor {

QString dateTimeText(const QDate &date, const QTime &time, const QLocale &locale)
{
    return platform::dateText(date, locale) + QStringLiteral("      ")
        + platform::timeText(time, locale);
}

void timer1Timer()
{
    QObject *label1 = platform::control(QStringLiteral("Form1"), QStringLiteral("Label1"));
    const QDate date = platform::currentDate();
    const QTime time = platform::currentTime();
    platform::putProperty(label1, "Caption", dateTimeText(date, time));
}

} // namespace decor
