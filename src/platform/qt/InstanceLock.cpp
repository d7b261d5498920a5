#include "platform/qt/InstanceLock.h"

#include "app/UserFolders.h"
#include "platform/Failure.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSource = QStringLiteral("InstanceLock");

[[noreturn]] void fail(const QString& what, int error)
{
    throw Failure(failures::kPathFileAccess,
                  QStringLiteral("Path/File access error: ") + what + QStringLiteral(": ") +
                      failures::systemError(error),
                  kSource);
}

// Found with lstat: a folder itself, not a link to one.
bool usersOwnFolder(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

// Anyone else who may write in the folder could hold a lock on a file of their own there and so
// stop every start.
bool usableRuntimeFolder(const QString& path)
{
    struct stat info = {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           usersOwnFolder(info) && (info.st_mode & 022) == 0;
}

int openLockFile(const QByteArray& path)
{
    // O_NONBLOCK: whatever sits at the path (a pipe, a device) cannot make the open wait.
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const int fd = ::open(path.constData(), flags, 0600);
    if (fd >= 0)
        return fd;
    // Something that is not a lock file sits at the path: an empty folder or a link is
    // cleared away; anything else is reported.
    const bool cleared = (errno == EISDIR && ::rmdir(path.constData()) == 0) ||
                         (errno == ELOOP && ::unlink(path.constData()) == 0);
    return cleared ? ::open(path.constData(), flags, 0600) : -1;
}

} // namespace

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : mName(std::move(other.mName)), mFolder(std::move(other.mFolder)), mFd(std::exchange(other.mFd, -1))
{
}

InstanceLock::~InstanceLock()
{
    if (mFd >= 0)
        ::close(mFd);
}

QString InstanceLock::folder()
{
    if (const QString runtime = UserFolders::runtimeFolder(); usableRuntimeFolder(runtime))
        return runtime;

    // A shared temporary folder: the lock must not be one that every user shares, nor one
    // that another user could plant.
    const QString own = UserFolders::temporaryFolder() + QLatin1Char('/') + identity::kProgram +
                        QLatin1Char('-') + QString::number(::getuid());
    const QByteArray native = QFile::encodeName(own);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        fail(own, errno);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0)
        fail(own, errno);
    if (!usersOwnFolder(info))
        fail(own, EPERM);
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        fail(own, errno);
    return own;
}

QString InstanceLock::path() const
{
    return (mFolder.isEmpty() ? folder() : mFolder) + QLatin1Char('/') + mName + QStringLiteral(".lock");
}

QString InstanceLock::holderNote() const
{
    // The holder writes its number just after it takes the lock: a look at that moment finds
    // the file empty, so look again for a moment.
    for (int look = 0; look < 20; ++look) {
        QFile file(path());
        // Only a look: a lock file is a few bytes, and anything else there is no holder's.
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
            return QString();
        const QString text = QString::fromLatin1(file.read(32)).trimmed();
        bool number = false;
        text.toLongLong(&number);
        if (number)
            return QStringLiteral(" (process ") + text + QLatin1Char(')');
        ::usleep(10 * 1000);
    }
    return QString();
}

bool InstanceLock::tryTake()
{
    if (mFd >= 0)
        return true;
    const QString where = path();
    const int fd = openLockFile(QFile::encodeName(where));
    if (fd < 0)
        fail(where, errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        fail(where, error);
    }
    // The holder's process number, for people who look; never into a file that has another name
    // too (a hard link), which would be overwritten with it.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && ::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::write(fd, pid.constData(), static_cast<size_t>(pid.size()));
        static_cast<void>(written); // only a courtesy: the lock is what counts
    }
    mFd = fd;
    return true;
}
