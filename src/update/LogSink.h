#pragma once

#include <QString>

// Where log entries go: the window's activity log, or standard output in a run without one.
class LogSink
{
public:
    virtual ~LogSink() = default;
    // Adds the text, already stamped, as a new line at the end of the log.
    virtual void AppendLog(const QString& text) = 0;
};
