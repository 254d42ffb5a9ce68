#include "platform/datetime.h"

namespace platform {

namespace {

bool hasRegionalSettings(const QLocale &locale)
{
    return locale.language() != QLocale::C;
}

} // namespace

QString dateText(const QDate &date, const QLocale &locale)
{
    if (!hasRegionalSettings(locale)) {
        return date.toString(Qt::ISODate);
    }
    return locale.toString(date, QLocale::ShortFormat);
}

QString timeFormatWithSeconds(const QLocale &locale)
{
    static const QString fallback = QStringLiteral("HH:mm:ss");
    if (!hasRegionalSettings(locale)) {
        return fallback;
    }
    // Drop the time-zone fields (t, tt, ttt, tttt) that long formats carry, outside quotes,
    // together with the blanks that separate them from the rest.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        out.append(c);
    }
    out = out.simplified();
    if (!out.contains(u's') || !out.contains(u'm')) {
        return fallback;
    }
    return out;
}

QString timeText(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, timeFormatWithSeconds(locale));
}

} // namespace platform
