#pragma once

#include "history/History.h"

#include <QDateTime>

#include <cstdio>

// Adds each conversation of one run (the window, a run from a script, the watcher) to the
// history as it ends. A history that cannot be written is said once on the error stream, for
// the whole process, and changes nothing else: the run goes on and the conversation's outcome
// stays its own.
class HistoryRecorder
{
public:
    HistoryRecorder(History history, HistoryEntry::Runner runner, std::FILE* err = stderr);

    void record(const ConversationResult& result,
                const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // The server accepted the step: recorded at once, so that an end that follows (a signal, a
    // lost connection before "BYE") loses nothing of it.
    void accepted(const ConversationResult& result,
                  const QDateTime& now = QDateTime::currentDateTimeUtc()) const
    {
        record(result, now);
    }
    // The conversation ended, or was cut off: recorded unless its accepted step already was.
    void ended(const ConversationResult& result, const QDateTime& now = QDateTime::currentDateTimeUtc()) const
    {
        if (result.outcome != ConversationResult::Outcome::Accepted)
            record(result, now);
    }
    const History& history() const { return mHistory; }

private:
    History mHistory;
    HistoryEntry::Runner mRunner;
    std::FILE* mErr;
};
