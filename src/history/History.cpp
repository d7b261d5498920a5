#include "history/History.h"

#include "app/FileReplacement.h"
#include "app/Identity.h"
#include "app/UserFolders.h"
#include "app/VisibleText.h"
#include "platform/Failure.h"
#include "update/ConversationText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

const QString kSource = QStringLiteral("History");
// Writers wait this long for one another before the line is given up, polling the lock: a
// writer that hangs while holding it must not hang the window or the watcher with it. The
// polls come often, or a writer that appends line after line would take the lock again and
// again before a waiter looked.
constexpr std::chrono::milliseconds kLockPatience{2000};
constexpr std::chrono::microseconds kLockPoll{100};
// Far beyond any history the program keeps: a bigger file at the path is read from its end.
constexpr qint64 kMaxRead = 16 * 1024 * 1024;

Failure cannot(const QString& why)
{
    return Failure(failures::kPathFileAccess, why, kSource);
}

Failure systemFailure(int error)
{
    return cannot(QString::fromLocal8Bit(std::strerror(error)));
}

QByteArray header()
{
    return History::columns().join(QLatin1Char('\t')).toUtf8();
}

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

class Descriptor
{
public:
    explicit Descriptor(int fd) : mFd(fd) {}
    Descriptor(Descriptor&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
    ~Descriptor()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return mFd; }

private:
    int mFd;
};

QString userName(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// As a shell takes it, blanks and all.
QString quotedForShell(const QString& path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// A file or folder that another user owns (most often root, after a run with sudo) is not the
// user's to fix by a change of mode: it is said whose it is, and how to give it back. Empty
// when it is the user's own.
QString ownedByAnother(const QString& what, const QString& path, const struct stat& info)
{
    const uid_t me = ::geteuid();
    if (info.st_uid == me)
        return QString();
    const QString mine = userName(me);
    return what + QStringLiteral(" belongs to ") + userName(info.st_uid) + QStringLiteral(", not to you (") +
           mine + QStringLiteral("); give it back with: sudo chown ") +
           (S_ISDIR(info.st_mode) ? QStringLiteral("-R ") : QString()) + mine + QStringLiteral(": ") +
           quotedForShell(path);
}

// Why the user may not write there: whose it is when another user's, else that it is read-only.
Failure cannotWrite(const QString& what, const QString& path, const struct stat& info)
{
    const QString owner = ownedByAnother(what, path, info);
    return cannot(owner.isEmpty() ? what + QStringLiteral(" is read-only") : owner);
}

QString kindInPlace(mode_t mode)
{
    return S_ISDIR(mode) ? QStringLiteral("a folder is in its place")
                         : QStringLiteral("something other than a file is in its place");
}

// Opens nothing but a regular file: a pipe or a device at the path must neither hang the
// program nor feed it, and a link is not followed. Returns -1 for an absent file when it is
// not to be created.
int openRegular(const QString& path, int flags)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && !(flags & O_CREAT))
            return -1;
        if (error == ELOOP)
            throw cannot(QStringLiteral("a symbolic link is in its place"));
        if (error == EISDIR)
            throw cannot(kindInPlace(S_IFDIR));
        if (error == ENXIO)
            throw cannot(kindInPlace(S_IFIFO));
        struct stat info = {};
        if (error == EACCES && ::lstat(QFile::encodeName(path).constData(), &info) == 0) {
            if (const QString owner = ownedByAnother(QStringLiteral("the file"), path, info);
                !owner.isEmpty())
                throw cannot(owner);
        }
        throw systemFailure(error);
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw cannot(kindInPlace(info.st_mode));
    }
    return fd;
}

// The owner's write bit says what the user wants, also to root, who may write anyway.
bool readOnly(const QByteArray& path, const struct stat& info)
{
    return (info.st_mode & S_IWUSR) == 0 || ::access(path.constData(), W_OK) != 0;
}

// Holds the lock beside the history. The history itself cannot carry it: a trim puts a new
// file in its place.
Descriptor lockBeside(const QString& path)
{
    const QString lockPath = path + QStringLiteral(".lock");
    try {
        Descriptor lock(openRegular(lockPath, O_RDWR | O_CREAT));
        const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
        while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                throw systemFailure(errno);
            if (std::chrono::steady_clock::now() >= deadline)
                throw cannot(QStringLiteral("another writer has held it for %1 seconds")
                                 .arg(std::chrono::duration<double>(kLockPatience).count()));
            std::this_thread::sleep_for(kLockPoll);
        }
        return lock;
    } catch (const Failure& failure) {
        // Said of the history, whose path goes before it: the lock is what failed.
        throw cannot(QStringLiteral("its lock ") + lockPath + QStringLiteral(": ") + failure.description);
    }
}

QByteArray readFrom(int fd, qint64 from, qint64 size)
{
    QByteArray data(size - from, Qt::Uninitialized);
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pread(fd, data.data() + done, static_cast<size_t>(data.size() - done), from + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw systemFailure(errno);
        if (n == 0)
            break;
        done += n;
    }
    data.truncate(done);
    return data;
}

// The whole lines of the file, the header among them; text after the last line break is a
// line still being written, or one cut short, and is left out.
QList<QByteArray> wholeLines(int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        throw systemFailure(errno);
    const qint64 from = std::max<qint64>(0, info.st_size - kMaxRead);
    QByteArray data = readFrom(fd, from, info.st_size);
    if (from > 0)
        data.remove(0, data.indexOf('\n') + 1);
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast();
    return lines;
}

void writeAll(int fd, const QByteArray& text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw systemFailure(errno);
        if (n == 0)
            throw systemFailure(ENOSPC);
        done += n;
    }
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
    HistoryEntry entry;
    entry.time = QDateTime::fromString(fields[0], Qt::ISODate).toUTC();
    const auto runner = valueOf(kRunnerWords, fields[1]);
    const auto operation = valueOf(kOperationWords, fields[2]);
    const auto outcome = valueOf(kOutcomeWords, fields[5]);
    if (!entry.time.isValid() || !runner || !operation || !outcome)
        return std::nullopt;
    entry.runner = *runner;
    entry.operation = *operation;
    entry.host = clean(fields[3]);
    entry.address = clean(fields[4]);
    entry.outcome = *outcome;
    entry.message = clean(fields[6], History::kMaxMessage);
    return entry;
}

} // namespace

HistoryEntry HistoryEntry::of(Runner runner, const ConversationResult& result, const QDateTime& now)
{
    HistoryEntry entry;
    entry.time = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC);
    entry.runner = runner;
    entry.operation = result.operation;
    entry.host = clean(result.host);
    if (result.operation == Operation::Update)
        entry.address = clean(result.address);
    entry.outcome = result.outcome;
    // What ended a conversation that failed; else the server's own words.
    const bool failed = result.outcome == ConversationResult::Outcome::NoConversation ||
                        result.outcome == ConversationResult::Outcome::EndedByProgram;
    entry.message = clean(failed && !result.failure.isEmpty() ? ConversationText::error(result.failure)
                                                              : result.lastReply,
                          History::kMaxMessage);
    return entry;
}

History::History(QString path) : mPath(std::move(path)) {}

QString History::defaultPath()
{
    return UserFolders::stateHome() + QLatin1Char('/') + identity::kProgram + QStringLiteral("/history");
}

const QStringList& History::columns()
{
    static const QStringList names = {QStringLiteral("time"),      QStringLiteral("runner"),
                                      QStringLiteral("operation"), QStringLiteral("host"),
                                      QStringLiteral("address"),   QStringLiteral("outcome"),
                                      QStringLiteral("message")};
    return names;
}

QString History::folder() const
{
    return QFileInfo(mPath).absolutePath();
}

void History::makeFolder() const
{
    const QString folderPath = QDir::cleanPath(folder());
    const QByteArray path = QFile::encodeName(folderPath);
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            struct stat parent = {};
            const QString parentPath = QFile::decodeName(part.left(part.lastIndexOf('/')));
            if (error == EACCES && ::stat(QFile::encodeName(parentPath).constData(), &parent) == 0) {
                if (const QString owner =
                        ownedByAnother(QStringLiteral("the folder ") + parentPath, parentPath, parent);
                    !owner.isEmpty())
                    throw cannot(owner);
            }
            throw systemFailure(error);
        }
        if (slash < 0)
            break;
    }
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        throw systemFailure(errno);
    if (!S_ISDIR(info.st_mode))
        throw cannot(QStringLiteral("a file is in the place of its folder"));
    if (readOnly(path, info))
        throw cannotWrite(QStringLiteral("its folder"), folderPath, info);
}

void History::append(const HistoryEntry& entry) const
{
    makeFolder();
    struct stat info = {};
    const QByteArray path = QFile::encodeName(mPath);
    if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && readOnly(path, info))
        throw cannotWrite(QStringLiteral("the file"), mPath, info);
    const Descriptor lock = lockBeside(mPath);
    const Descriptor file(openRegular(mPath, O_RDWR | O_APPEND | O_CREAT));
    if (::fstat(file.get(), &info) != 0)
        throw systemFailure(errno);

    QByteArray text;
    if (info.st_size == 0)
        text = header() + '\n';
    else if (readFrom(file.get(), info.st_size - 1, info.st_size) != "\n")
        text = "\n"; // a line that was cut short stays apart from this one
    text += lineOf(entry) + '\n';
    try {
        writeAll(file.get(), text);
    } catch (const Failure&) {
        // What a full disk let through would glue itself to the next line.
        const bool undone = ::ftruncate(file.get(), info.st_size) == 0;
        Q_UNUSED(undone);
        throw;
    }

    QList<QByteArray> lines = wholeLines(file.get());
    const QByteArray head = header();
    lines.removeIf([&head](const QByteArray& line) { return line.isEmpty() || line == head; });
    if (lines.size() <= kMaxLines)
        return;
    QByteArray kept = head + '\n';
    for (qsizetype i = lines.size() - kMaxLines; i < lines.size(); ++i)
        kept += lines[i] + '\n';
    const QString error = FileReplacement::replace(mPath, kept, 0600);
    if (!error.isEmpty())
        throw cannot(error);
}

QList<HistoryEntry> History::entries() const
{
    const int fd = openRegular(mPath, O_RDONLY);
    if (fd < 0)
        return {};
    const Descriptor file(fd);
    QList<HistoryEntry> found;
    for (const QByteArray& line : wholeLines(file.get())) {
        if (std::optional<HistoryEntry> entry = parse(line))
            found.append(*entry);
    }
    return found;
}

std::optional<HistoryEntry> History::newest(const QString& host,
                                            const std::function<bool(const HistoryEntry&)>& wanted) const
{
    const QList<HistoryEntry> all = entries();
    const auto found =
        std::find_if(all.rbegin(), all.rend(), [&wanted, host = clean(host)](const HistoryEntry& entry) {
            return entry.host == host && wanted(entry);
        });
    return found == all.rend() ? std::nullopt : std::optional<HistoryEntry>(*found);
}

std::optional<HistoryEntry> History::lastAccepted(const QString& host) const
{
    return newest(host, [](const HistoryEntry& entry) {
        return entry.operation == Operation::Update && entry.outcome == ConversationResult::Outcome::Accepted;
    });
}

std::optional<HistoryEntry> History::lastAcceptedStep(const QString& host) const
{
    return newest(host, [](const HistoryEntry& entry) {
        return entry.outcome == ConversationResult::Outcome::Accepted;
    });
}

std::optional<HistoryEntry> History::lastAttempt(const QString& host) const
{
    return newest(host, [](const HistoryEntry&) { return true; });
}
