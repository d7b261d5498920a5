#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace LogTimeStamp {

// The locale's long time format without its time-zone part.
QString timeFormatWithoutZone(const QLocale& locale);

// The locale's short date, one blank and its long time; the date alone at exactly midnight.
QString format(const QLocale& locale, const QDateTime& moment);

// The time stamp every log entry begins with: the moment, to the second, in the user's regional
// settings.
QString of(const QDateTime& moment);
QString now();

} // namespace LogTimeStamp
