#pragma once

#include <QString>

// One entry of the activity log, wherever it goes (the window's log box, standard output).
namespace LogEntry {

// An entry the program writes from valid settings stays below it (a host name has at most 253
// characters); only a server's reply text can reach it. The window's log box shapes each line
// on screen anew whenever it repaints, at a cost that grows with the line's length: replies of
// 60,000 characters starve the window. Five hundred characters are still several screens
// wide, hold the worst conversation to about a third of a second of work and a full log to
// 10 MB of text.
inline constexpr int kMaxLength = 500;

// The time stamp followed by the message.
QString stamped(const QString& message);
// The entry as the log holds it: cut after kMaxLength characters, ending in an ellipsis (U+2026).
QString bounded(const QString& entry);

} // namespace LogEntry
