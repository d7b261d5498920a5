#pragma once

#include <QString>

class IWindowing;
class QPlainTextEdit;

// The activity log: entries appended at the end of the main window's log box, never read
// back. The box keeps the newest kMaxEntries entries; older ones drop off its top.
class ActivityLog
{
public:
    static constexpr int kMaxEntries = 10000;

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
