#include "update/LogTimeStamp.h"

namespace LogTimeStamp {

QString timeFormatWithoutZone(const QLocale& locale)
{
    QString result;
    bool quoted = false;
    for (QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result.append(c);
    }
    result.remove(QStringLiteral("()"));
    result.remove(QStringLiteral("[]"));
    return result.simplified();
}

QString format(const QLocale& locale, const QDateTime& moment)
{
    const QString date = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(moment.time(), timeFormatWithoutZone(locale));
}

QString of(const QDateTime& moment)
{
    // The system locale follows LC_TIME; the time is truncated to whole seconds.
    return format(QLocale::system(), moment.addMSecs(-moment.time().msec()));
}

QString now()
{
    return of(QDateTime::currentDateTime());
}

} // namespace LogTimeStamp
