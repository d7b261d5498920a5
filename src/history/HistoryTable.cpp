#include "history/HistoryTable.h"

#include "update/UpdateConversation.h"

#include <algorithm>

namespace HistoryTable {

QString localTime(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList rows(const QList<HistoryEntry>& entries)
{
    QList<QStringList> cells = {History::columns()};
    for (const HistoryEntry& entry : entries)
        cells.append({localTime(entry.time), History::word(entry.runner),
                      UpdateConversation::operationWord(entry.operation), entry.host, entry.address,
                      History::word(entry.outcome), entry.message});
    QList<qsizetype> widths(History::columns().size(), 0);
    for (const QStringList& row : cells) {
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QStringList lines;
    for (const QStringList& row : cells) {
        QString line;
        for (qsizetype column = 0; column + 1 < row.size(); ++column)
            line += row[column].leftJustified(widths[column]) + QStringLiteral("  ");
        line += row.last();
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

} // namespace HistoryTable
