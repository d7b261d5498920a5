#include "history/HistoryTable.h"

#include <algorithm>

namespace HistoryTable {

QString localTime(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {

// No host name or address is this long: what a hand-edited line holds beyond it would only
// widen every row.
constexpr qsizetype kWidestCell = 100;

QString cell(const QString& text)
{
    if (text.size() <= kWidestCell)
        return text;
    // A character of two halves is kept whole or not at all.
    const qsizetype keep = text.at(kWidestCell - 2).isHighSurrogate() ? kWidestCell - 2 : kWidestCell - 1;
    return text.left(keep) + QChar(0x2026);
}

} // namespace

QStringList rows(const QList<HistoryEntry>& entries)
{
    QList<QStringList> cells = {History::columns()};
    for (const HistoryEntry& entry : entries)
        cells.append({localTime(entry.time), wordOf(kRunnerWords, entry.runner),
                      wordOf(kOperationWords, entry.operation), cell(entry.host), cell(entry.address),
                      wordOf(kOutcomeWords, entry.outcome), entry.message});
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
