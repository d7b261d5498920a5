#pragma once

#include "history/History.h"

#include <QStringList>

// The history as a table for a terminal: a header row and one row per entry in the order
// given, times in local time, columns two blanks apart and padded to line up.
namespace HistoryTable {

QString localTime(const QDateTime& time);
QStringList rows(const QList<HistoryEntry>& entries);

} // namespace HistoryTable
