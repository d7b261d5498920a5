#pragma once

#include "update/LogEntry.h"

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
    static constexpr int kMaxEntryLength = LogEntry::kMaxLength;

    ActivityLog(QPlainTextEdit& box, IWindowing& windowing);

    // Adds text and a line end at the very end of the log, wherever the caret was; a
    // selection is dropped and the newest entry scrolls into view.
    void AppendLog(const QString& text);

private:
    void shedLayouts();

    QPlainTextEdit& mBox;
    IWindowing& mWindowing;
    int mAppendsSinceShed = 0;
};
