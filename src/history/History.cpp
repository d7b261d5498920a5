#include "history/History.h"

#include "app/UserFolders.h"
#include "app/VisibleText.h"
#include "platform/Failure.h"
#include "platform/files/FileReplacement.h"
#include "platform/files/RegularFile.h"
#include "update/ConversationText.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <utility>

namespace {

// Writers wait this long for one another before the line is given up: a writer that hangs
// while holding the lock must not hang the window or the watcher with it.
constexpr std::chrono::milliseconds kLockPatience{2000};
// Far beyond any history the program keeps: a bigger file at the path is read from its end.
constexpr qint64 kMaxRead = 16 * 1024 * 1024;

// Control characters would split the line or its columns.
QString clean(const QString& text, qsizetype maxLength = -1)
{
    QString out = VisibleText::withoutControls(text);
    if (maxLength >= 0 && out.size() > maxLength) {
        out.truncate(maxLength);
        if (!out.isEmpty() && out.back().isHighSurrogate())
            out.chop(1);
    }
    return out;
}

QByteArray lineOf(const HistoryEntry& entry)
{
    const QStringList fields = {entry.time.toUTC().toString(Qt::ISODate),
                                wordOf(kRunnerWords, entry.runner),
                                wordOf(kOperationWords, entry.operation),
                                clean(entry.host),
                                clean(entry.address),
                                wordOf(kOutcomeWords, entry.outcome),
                                clean(entry.message, History::kMaxMessage)};
    return fields.join(QLatin1Char('\t')).toUtf8();
}

std::optional<HistoryEntry> parse(const QByteArray& line)
{
    const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
    if (fields.size() != History::columns().size())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(fields[0], Qt::ISODate).toUTC();
    const auto runner = valueOf(kRunnerWords, fields[1]);
    const auto operation = valueOf(kOperationWords, fields[2]);
    const auto outcome = valueOf(kOutcomeWords, fields[5]);
    if (!time.isValid() || !runner || !operation || !outcome)
        return std::nullopt;
    return HistoryEntry{.time = time,
                        .runner = *runner,
                        .operation = *operation,
                        .host = clean(fields[3]),
                        .address = clean(fields[4]),
                        .outcome = *outcome,
                        .message = clean(fields[6], History::kMaxMessage)};
}

std::optional<HistoryEntry> newest(const QList<HistoryEntry>& entries, const QString& host,
                                   const std::function<bool(const HistoryEntry&)>& wanted)
{
    const auto found = std::find_if(entries.rbegin(), entries.rend(),
                                    [&wanted, host = clean(host)](const HistoryEntry& entry) {
                                        return entry.host == host && wanted(entry);
                                    });
    return found == entries.rend() ? std::nullopt : std::optional<HistoryEntry>(*found);
}

} // namespace

HistoryEntry HistoryEntry::of(Runner runner, const ConversationResult& result, const QDateTime& now)
{
    // What ended a conversation that failed; else the server's own words.
    const bool failed = result.outcome == ConversationResult::Outcome::NoConversation ||
                        result.outcome == ConversationResult::Outcome::EndedByProgram;
    return {.time = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC),
            .runner = runner,
            .operation = result.operation,
            .host = clean(result.host),
            .address = result.operation == Operation::Update ? clean(result.address) : QString(),
            .outcome = result.outcome,
            .message = clean(failed && !result.failure.isEmpty() ? ConversationText::error(result.failure)
                                                                 : result.lastReply,
                             History::kMaxMessage)};
}

History::History(QString path) : mPath(std::move(path)) {}

QString History::defaultPath()
{
    return UserFolders::stateFile(QStringLiteral("history"));
}

const QStringList& History::columns()
{
    static const QStringList names =
        QStringLiteral("time runner operation host address outcome message").split(QLatin1Char(' '));
    return names;
}

QString History::unreadable(const Failure& failure) const
{
    return QStringLiteral("the history ") + mPath + QStringLiteral(" cannot be read: ") + failure.description;
}

QString History::folder() const
{
    return QFileInfo(mPath).absolutePath();
}

void History::append(const HistoryEntry& entry) const
{
    RegularFile::makeFolder(folder());
    RegularFile::checkWritable(mPath);
    const RegularFile lock = RegularFile::lockBeside(mPath, kLockPatience);
    const RegularFile file = *RegularFile::open(mPath, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW);
    const qint64 size = file.status().st_size;
    const QByteArray head = columns().join(QLatin1Char('\t')).toUtf8();

    QByteArray text;
    if (size == 0)
        text = head + '\n';
    else if (file.read(size - 1, 1) != "\n")
        text = "\n"; // a line that was cut short stays apart from this one
    text += lineOf(entry) + '\n';
    file.append(text);

    QList<QByteArray> lines = file.wholeLines(kMaxRead);
    lines.removeIf([&head](const QByteArray& line) { return line.isEmpty() || line == head; });
    if (lines.size() <= kMaxLines)
        return;
    const QByteArray kept = head + '\n' + lines.sliced(lines.size() - kMaxLines).join('\n') + '\n';
    if (const QString error = FileReplacement::replace(mPath, kept, 0600); !error.isEmpty())
        throw failures::fileAccess(error);
}

QList<HistoryEntry> History::entries() const
{
    const std::optional<RegularFile> file = RegularFile::open(mPath, O_RDONLY | O_NOFOLLOW);
    if (!file)
        return {};
    QList<HistoryEntry> found;
    for (const QByteArray& line : file->wholeLines(kMaxRead)) {
        if (std::optional<HistoryEntry> entry = parse(line))
            found.append(*entry);
    }
    return found;
}

std::optional<HistoryEntry> History::lastAccepted(const QList<HistoryEntry>& entries, const QString& host)
{
    return newest(entries, host, [](const HistoryEntry& entry) {
        return entry.operation == Operation::Update && entry.outcome == ConversationResult::Outcome::Accepted;
    });
}

std::optional<HistoryEntry> History::lastAcceptedStep(const QString& host) const
{
    return newest(entries(), host, [](const HistoryEntry& entry) {
        return entry.outcome == ConversationResult::Outcome::Accepted;
    });
}

std::optional<HistoryEntry> History::lastAttempt(const QList<HistoryEntry>& entries, const QString& host)
{
    return newest(entries, host, [](const HistoryEntry&) { return true; });
}
