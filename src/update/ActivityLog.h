#pragma once

#include <QString>

class IWindowing;
class QPlainTextEdit;

// The activity log: entries appended at the end of the main window's log box, never read
// back. The box keeps the newest kMaxEntries entries; older ones drop off its top. An entry
// keeps at most kMaxEntryLength characters: a longer one is cut and ends in an ellipsis (U+2026).
class ActivityLog
{
public:
    static constexpr int kMaxEntries = 10000;
    // An entry the program writes from valid settings stays below it (a host name has at most
    // 253 characters); only a server's reply text can reach it. The box shapes each line on
    // screen anew whenever it repaints, at a cost that grows with the line's length: replies of
    // 60,000 characters starve the window. Five hundred characters are still several screens
    // wide, hold the worst conversation to about a third of a second of work and a full log to
    // 10 MB of text.
    static constexpr int kMaxEntryLength = 500;

    ActivityLog(QPlainTextEdit& box, IWindowing& windowing);

    // Adds text and a line end at the very end of the log, wherever the caret was; a
    // selection is dropped and the newest entry scrolls into view.
    void AppendLog(const QString& text);

    // The time stamp followed by the message.
    static QString stamped(const QString& message);
    // The entry as the log holds it: cut after kMaxEntryLength characters.
    static QString bounded(const QString& entry);

private:
    void shedLayouts();

    QPlainTextEdit& mBox;
    IWindowing& mWindowing;
    int mAppendsSinceShed = 0;
};
