#include "app/FileReplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray& text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A replacement killed between creating its temporary file and the rename leaves that file
// behind (the settings' holds the password): the user's regular files named as mkostemp
// names them for this path.
void removeLeftovers(const QFileInfo& target)
{
    const QString prefix = QLatin1Char('.') + target.fileName() + QLatin1Char('.');
    const QDir folder(target.absolutePath());
    const QStringList names = folder.entryList({prefix + QStringLiteral("??????")},
                                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const bool generated = std::all_of(name.begin() + prefix.size(), name.end(), [](QChar c) {
            return c.unicode() < 128 && std::isalnum(static_cast<unsigned char>(c.unicode()));
        });
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat info = {};
        if (generated && ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid())
            ::unlink(path.constData());
    }
}

} // namespace

namespace FileReplacement {

QString replace(const QString& path, const QByteArray& text, mode_t mode)
{
    const QFileInfo target(path);
    removeLeftovers(target);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray temporary = folder + "/." + QFile::encodeName(target.fileName()) + ".XXXXXX";

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot create a file in its folder: ") + systemError(errno);
    const bool written = writeAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int closeError = errno;
        ::unlink(temporary.constData());
        return QStringLiteral("cannot write: ") + systemError(written ? closeError : writeError);
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return QStringLiteral("cannot replace the file: ") + systemError(renameError);
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
