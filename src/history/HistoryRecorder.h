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
    const History& history() const { return mHistory; }

private:
    History mHistory;
    HistoryEntry::Runner mRunner;
    std::FILE* mErr;
};
