#pragma once

#include "app/Operation.h"
#include "update/ConversationResult.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Failure;

// One finished conversation as the history keeps it.
struct HistoryEntry
{
    enum class Runner { Window, Once, Watch };

    QDateTime time; // UTC, to the second
    Runner runner = Runner::Window;
    Operation operation = Operation::Update;
    QString host;
    QString address; // empty for an offline step
    ConversationResult::Outcome outcome = ConversationResult::Outcome::NoConversation;
    // The server's last words when it was recorded (for an accepted step, the reply that
    // accepted it); for a conversation that failed or was cut off, what ended it. Control
    // characters removed, at most kMaxMessage characters.
    QString message;

    // The entry for a conversation that has just ended.
    static HistoryEntry of(Runner runner, const ConversationResult& result, const QDateTime& now);
};

// The words of the history's runner and outcome columns. A conversation the program cut off is
// one that failed, as a conversation that broke off is.
inline constexpr Word<HistoryEntry::Runner> kRunnerWords[] = {{HistoryEntry::Runner::Window, "window"},
                                                              {HistoryEntry::Runner::Once, "once"},
                                                              {HistoryEntry::Runner::Watch, "watch"}};
inline constexpr Word<ConversationResult::Outcome> kOutcomeWords[] = {
    {ConversationResult::Outcome::Accepted, "accepted"},
    {ConversationResult::Outcome::Refused, "refused"},
    {ConversationResult::Outcome::NoConversation, "failed"},
    {ConversationResult::Outcome::EndedByProgram, "failed"}};

// The record of finished conversations, one line each, in a file that the window, the runs from
// scripts and the watcher all append to: $XDG_STATE_HOME/corvane-dyndns/history (by default
// ~/.local/state/corvane-dyndns/history; the folder 0700, the file 0600). Tab-separated with a
// header line naming the columns. Writers never interleave and every line stays whole; the file
// keeps its newest kMaxLines lines.
class History
{
public:
    static constexpr int kMaxLines = 1000;
    static constexpr int kMaxMessage = 200;

    explicit History(QString path = defaultPath());
    static QString defaultPath();
    const QString& path() const { return mPath; }
    // Says that it cannot be read, and why.
    QString unreadable(const Failure& failure) const;
    // The folder the history lives in, with its lock and the watcher's.
    QString folder() const;

    static const QStringList& columns();

    // Adds the entry as one line. Throws Failure when the history cannot be written (a
    // read-only file or folder, a full disk, a folder where the file should be).
    void append(const HistoryEntry& entry) const;

    // Every line that can be read, oldest first; a line that cannot be read is skipped. An
    // absent file is an empty history; one that cannot be read throws Failure.
    QList<HistoryEntry> entries() const;

    // Among entries read once, the newest accepted update for the host and its newest entry.
    static std::optional<HistoryEntry> lastAccepted(const QList<HistoryEntry>& entries, const QString& host);
    static std::optional<HistoryEntry> lastAttempt(const QList<HistoryEntry>& entries, const QString& host);
    // The newest accepted step for the host, an update or an offline step.
    std::optional<HistoryEntry> lastAcceptedStep(const QString& host) const;

private:
    QString mPath;
};
