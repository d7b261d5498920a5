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
    // Every entry the program writes itself, a host name of 253 characters included, is far
    // shorter; only a server's reply text comes near. The box lays out and draws a line each
    // time it comes into view, at a cost that grows with its length, so entries of 60,000
    // characters starve the window; a thousand is still several screens wide, and a full log
    // then holds at most 20 MB of text.
    static constexpr int kMaxEntryLength = 1000;

    ActivityLog(QPlainTextEdit& box, IWindowing& windowing);

    // Adds text and a line end at the very end of the log, wherever the caret was; a
    // selection is dropped and the newest entry scrolls into view.
    void AppendLog(const QString& text);

    // The time stamp followed by the message.
    static QString stamped(const QString& message);

private:
    void shedLayouts();

    QPlainTextEdit& mBox;
    IWindowing& mWindowing;
    int mAppendsSinceShed = 0;
};
