#include "update/LogEntry.h"

#include "update/LogTimeStamp.h"

namespace LogEntry {

QString stamped(const QString& message)
{
    return LogTimeStamp::now() + message;
}

QString bounded(const QString& entry)
{
    if (entry.size() <= kMaxLength)
        return entry;
    // The cut never splits a character that takes two code units.
    qsizetype keep = kMaxLength - 1;
    if (entry.at(keep - 1).isHighSurrogate())
        --keep;
    return entry.left(keep) + QChar(0x2026);
}

} // namespace LogEntry
