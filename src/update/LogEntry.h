#pragma once

#include <QString>

// One entry of the activity log, wherever it goes (the window's log box, standard output).
namespace LogEntry {

// Only a server's reply text reaches it (a host name has at most 253 characters). The window's log
// box shapes each line anew on every repaint, at a cost that grows with its length: replies of
// 60,000 characters starve the window. 500 characters are several screens wide, yet hold the
// worst conversation to about a third of a second of work and a full log to 10 MB.
inline constexpr int kMaxLength = 500;

QString stamped(const QString& message);
// The entry as the log holds it: cut after kMaxLength characters, ending in an ellipsis (U+2026).
QString bounded(const QString& entry);

} // namespace LogEntry
