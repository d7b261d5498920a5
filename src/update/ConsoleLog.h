#pragma once

#include "update/LogEntry.h"

#include <QString>

#include <cstdio>

// The log of a run without a window: each entry on standard output as the window would show it,
// cut where the window cuts it and with control characters made visible; entries that tell of an
// error, and the program's own complaints, on standard error.
class ConsoleLog
{
public:
    // What a line does when nobody reads the stream and it is full: wait (a run that ends by
    // itself), or go unwritten (a watcher, which must stay free to act and to end).
    enum class WhenStalled { Wait, Drop };

    ConsoleLog(std::FILE* out, std::FILE* err, bool quiet, WhenStalled stalled = WhenStalled::Wait)
        : mOut(out), mErr(err), mQuiet(quiet), mStalled(stalled)
    {
    }

    // An entry, already stamped; nothing while quiet.
    void entry(const QString& text) const
    {
        if (!mQuiet)
            print(mOut, LogEntry::bounded(text));
    }
    // An entry that tells of a refusal or an error; also while quiet.
    void error(const QString& text) const { print(mErr, LogEntry::bounded(text)); }
    // A message of the program's own, after its name.
    void complain(const QString& text) const;
    // A line of an answer (the settings, the history) on standard output.
    void line(const QString& text) const { print(mOut, text); }

private:
    void print(std::FILE* stream, const QString& line) const;
    // Writes what the stream takes now; false when it took nothing.
    static bool writeWithoutWaiting(std::FILE* stream, const QByteArray& text, bool& cut);

    std::FILE* mOut;
    std::FILE* mErr;
    bool mQuiet;
    WhenStalled mStalled;
    mutable qint64 mDropped = 0; // lines that went unwritten since the last one written
    mutable bool mCut = false;   // the last line written was cut short
};
