#pragma once

#include <QString>

// Where log entries go: the window's activity log, or standard output in a run without one.
class LogSink
{
public:
    virtual ~LogSink() = default;
    // Adds the text, already stamped, as a new line at the end of the log.
    virtual void AppendLog(const QString& text) = 0;
    // The same for an entry that tells of a refusal or an error.
    virtual void AppendError(const QString& text) { AppendLog(text); }
};
