#include "platform/qt/InstanceLock.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
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
                      QString::fromLocal8Bit(std::strerror(error)),
                  kSource);
}

bool usableRuntimeFolder(const QByteArray& path)
{
    struct stat info = {};
    return path.startsWith('/') && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

int openLockFile(const QByteArray& path)
{
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
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

InstanceLock::InstanceLock(QString name) : mName(std::move(name)) {}

InstanceLock::~InstanceLock()
{
    if (mFd >= 0)
        ::close(mFd);
}

QString InstanceLock::folder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (usableRuntimeFolder(runtime))
        return QFile::decodeName(runtime);

    // A shared temporary folder: the lock must not be one that every user shares, nor one
    // that another user could plant.
    const QString own = QDir::tempPath() + QStringLiteral("/corvane-dyndns-") + QString::number(::getuid());
    const QByteArray native = QFile::encodeName(own);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        fail(own, errno);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0)
        fail(own, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        fail(own, EPERM);
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        fail(own, errno);
    return own;
}

QString InstanceLock::path() const
{
    return folder() + QLatin1Char('/') + mName + QStringLiteral(".lock");
}

bool InstanceLock::tryTake()
{
    if (mFd >= 0)
        return true;
    const QString where = path();
    const QByteArray native = QFile::encodeName(where);
    const int fd = openLockFile(native);
    if (fd < 0)
        fail(where, errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        fail(where, error);
    }
    // The holder's process number, for people who look.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::write(fd, pid.constData(), static_cast<size_t>(pid.size()));
        static_cast<void>(written); // only a courtesy: the lock is what counts
    }
    mFd = fd;
    return true;
}
