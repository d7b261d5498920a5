#pragma once

#include "history/History.h"

#include <cstdio>
#include <utility>

class IClock;

// Adds each conversation of one run (the window, a run from a script, the watcher) to the
// history as it ends. A history that cannot be written is said once on the error stream, for
// the whole process, and changes nothing else: the run goes on and the conversation's outcome
// stays its own.
class HistoryRecorder
{
public:
    // The clock gives each entry its time.
    HistoryRecorder(History history, HistoryEntry::Runner runner, const IClock& clock,
                    std::FILE* err = stderr)
        : mHistory(std::move(history)), mRunner(runner), mClock(clock), mErr(err)
    {
    }

    // An accepted step is recorded at once, so that an end that follows (a signal, a lost
    // connection before "BYE") loses nothing of it.
    void record(const ConversationResult& result) const;
    // The conversation ended, or was cut off: recorded unless its accepted step already was.
    void ended(const ConversationResult& result) const
    {
        if (result.outcome != ConversationResult::Outcome::Accepted)
            record(result);
    }
    const History& history() const { return mHistory; }

private:
    History mHistory;
    HistoryEntry::Runner mRunner;
    const IClock& mClock;
    std::FILE* mErr;
};
