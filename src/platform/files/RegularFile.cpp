#include "platform/files/RegularFile.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

// Polled, often: a writer that hangs must not hang a waiter, nor one that appends starve it.
constexpr std::chrono::microseconds kLockPoll{100};

QString userName(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// As a shell takes it, blanks and all.
QString quotedForShell(const QString& path)
{
    return QLatin1Char('\'') + QString(path).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

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
    return failures::fileAccess(owner.isEmpty() ? what + QStringLiteral(" is read-only") : owner);
}

QString inItsPlace(mode_t type)
{
    if (S_ISLNK(type))
        return QStringLiteral("a symbolic link is in its place");
    return S_ISDIR(type) ? QStringLiteral("a folder is in its place")
                         : QStringLiteral("something other than a file is in its place");
}

} // namespace

std::optional<RegularFile> RegularFile::open(const QString& path, int flags, QString (*misfit)(mode_t))
{
    const bool explained = misfit == nullptr;
    if (explained)
        misfit = inItsPlace;
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    // O_NONBLOCK: a pipe cannot hold up the open until a writer or reader comes; fstat turns it away.
    const int fd = ::open(native.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && !(flags & O_CREAT))
            return std::nullopt;
        if (explained && error == ELOOP && (flags & O_NOFOLLOW))
            throw failures::fileAccess(misfit(S_IFLNK));
        if (explained && (error == EISDIR || error == ENXIO))
            throw failures::fileAccess(misfit(error == EISDIR ? S_IFDIR : S_IFIFO));
        const QString owner = explained && error == EACCES && ::lstat(native.constData(), &info) == 0
                                  ? ownedByAnother(QStringLiteral("the file"), path, info)
                                  : QString();
        throw owner.isEmpty() ? failures::fileAccess(error) : failures::fileAccess(owner);
    }
    RegularFile file(fd);
    if (::fstat(fd, &info) != 0 && !explained)
        throw failures::fileAccess(errno);
    if (!S_ISREG(info.st_mode))
        throw failures::fileAccess(misfit(info.st_mode));
    return file;
}

RegularFile RegularFile::lockBeside(const QString& path, std::chrono::milliseconds patience)
{
    const QString lockPath = path + QStringLiteral(".lock");
    try {
        RegularFile lock = *open(lockPath, O_RDWR | O_CREAT | O_NOFOLLOW);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (::flock(lock.mFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                throw failures::fileAccess(errno);
            if (std::chrono::steady_clock::now() >= deadline)
                throw failures::fileAccess(QStringLiteral("another writer has held it for %1 seconds")
                                               .arg(std::chrono::duration<double>(patience).count()));
            std::this_thread::sleep_for(kLockPoll);
        }
        return lock;
    } catch (const Failure& failure) {
        // Said of the file, whose path goes before it: the lock is what failed.
        throw failures::fileAccess(QStringLiteral("its lock ") + lockPath + QStringLiteral(": ") +
                                   failure.description);
    }
}

void RegularFile::makeFolder(const QString& folder)
{
    const QString folderPath = QDir::cleanPath(folder);
    const QByteArray path = QFile::encodeName(folderPath);
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            const QByteArray parent = part.left(part.lastIndexOf('/'));
            const QString parentPath = QFile::decodeName(parent);
            struct stat parentInfo = {};
            const QString owner =
                error == EACCES && ::stat(parent.constData(), &parentInfo) == 0
                    ? ownedByAnother(QStringLiteral("the folder ") + parentPath, parentPath, parentInfo)
                    : QString();
            throw owner.isEmpty() ? failures::fileAccess(error) : failures::fileAccess(owner);
        }
        if (slash < 0)
            break;
    }
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        throw failures::fileAccess(errno);
    if (!S_ISDIR(info.st_mode))
        throw failures::fileAccess(QStringLiteral("a file is in the place of its folder"));
    if (readOnly(folderPath, info))
        throw cannotWrite(QStringLiteral("its folder"), folderPath, info);
}

void RegularFile::checkWritable(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
        readOnly(path, info))
        throw cannotWrite(QStringLiteral("the file"), path, info);
}

bool RegularFile::readOnly(const QString& path, const struct stat& info)
{
    return (info.st_mode & S_IWUSR) == 0 || ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

RegularFile::~RegularFile()
{
    if (mFd >= 0)
        ::close(mFd);
}

struct stat RegularFile::status() const
{
    struct stat info = {};
    if (::fstat(mFd, &info) != 0)
        throw failures::fileAccess(errno);
    return info;
}

QByteArray RegularFile::read(qint64 from, qint64 most) const
{
    QByteArray data;
    data.reserve(std::clamp<qint64>(status().st_size - from, 0, most));
    char piece[64 * 1024];
    while (data.size() < most) {
        const size_t wanted = static_cast<size_t>(std::min<qint64>(sizeof piece, most - data.size()));
        const ssize_t n = ::pread(mFd, piece, wanted, from + data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw failures::fileAccess(errno);
        if (n == 0)
            break;
        data.append(piece, n);
    }
    return data;
}

QList<QByteArray> RegularFile::wholeLines(qint64 most) const
{
    const qint64 size = status().st_size;
    const qint64 from = std::max<qint64>(0, size - most);
    QByteArray data = read(from, size - from);
    if (from > 0)
        data.remove(0, data.indexOf('\n') + 1);
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast();
    return lines;
}

void RegularFile::append(const QByteArray& text) const
{
    const off_t before = status().st_size;
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::write(mFd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            const bool undone = ::ftruncate(mFd, before) == 0;
            Q_UNUSED(undone);
            throw failures::fileAccess(error);
        }
        done += n;
    }
}

void RegularFile::close()
{
    if (::close(std::exchange(mFd, -1)) != 0)
        throw failures::fileAccess(errno);
}
