#include "platform/files/FileReplacement.h"

#include "platform/Failure.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileReplacement {

void removeLeftovers(const QString& path)
{
    const QFileInfo target(path);
    const QString prefix = QLatin1Char('.') + target.fileName() + QLatin1Char('.');
    const QDir folder(target.absolutePath());
    const QStringList names =
        folder.entryList({prefix + QStringLiteral("??????")},
                         QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks | QDir::CaseSensitive);
    for (const QString& name : names) {
        const bool generated = std::all_of(name.begin() + prefix.size(), name.end(), [](QChar c) {
            return c.unicode() < 128 && std::isalnum(static_cast<unsigned char>(c.unicode()));
        });
        if (!generated)
            continue;
        const QByteArray file = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A replacement under way holds its file locked; one that was killed holds nothing.
        struct stat opened = {};
        struct stat named = {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(file.constData(), &named) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlink(file.constData());
        ::close(fd);
    }
}

QString replace(const QString& path, const QByteArray& text, mode_t mode)
{
    const QFileInfo target(path);
    removeLeftovers(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray temporary;
    int fd = -1;
    // Locked until it is in place, so that a look for leftovers leaves it alone; one taken away
    // before the lock was held is made anew.
    for (int tries = 0; fd < 0 && tries < 3; ++tries) {
        temporary = folder + "/." + QFile::encodeName(target.fileName()) + ".XXXXXX";
        fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0)
            return QStringLiteral("cannot create a file in its folder: ") + failures::systemError(errno);
        struct stat info = {};
        if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &info) != 0) {
            const int lockError = errno;
            ::unlink(temporary.constData());
            ::close(fd);
            return QStringLiteral("cannot lock the file it writes: ") + failures::systemError(lockError);
        }
        if (info.st_nlink == 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        return QStringLiteral("cannot create a file in its folder: it was taken away at once");
    // Holds the lock past the close that tells whether the text reached the disk.
    const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const int lockError = errno;
    const RegularFile lock(held);
    try {
        RegularFile file(fd);
        if (held < 0)
            throw failures::fileAccess(lockError);
        file.append(text);
        if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
            throw failures::fileAccess(errno);
        file.close();
    } catch (const Failure& failure) {
        ::unlink(temporary.constData());
        return QStringLiteral("cannot write: ") + failure.description;
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return QStringLiteral("cannot replace the file: ") + failures::systemError(renameError);
    }
    // The rename itself lives in the folder.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return QString();
}

} // namespace FileReplacement
