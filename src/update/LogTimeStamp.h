#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace LogTimeStamp {

// The locale's long time format without its time-zone part.
QString timeFormatWithoutZone(const QLocale& locale);

// The locale's short date, one blank and its long time; the date alone at exactly midnight.
QString format(const QLocale& locale, const QDateTime& moment);

using Clock = QDateTime (*)();

// The time stamp every log entry begins with: now, to the second, in the user's regional
// settings.
QString now(Clock clock = QDateTime::currentDateTime);

} // namespace LogTimeStamp
