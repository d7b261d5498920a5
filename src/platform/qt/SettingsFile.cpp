#include "platform/qt/SettingsFile.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSource = QStringLiteral("SettingsStore");

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

[[noreturn]] void refuseLoad(const QString& path, const QString& reason)
{
    throw Failure(failures::kPathFileAccess,
                  QStringLiteral("Path/File access error: cannot read the settings from ") + path +
                      QStringLiteral(": ") + reason,
                  kSource);
}

// The whole text of the regular file at the path (a link is followed), or nothing when there
// is none. reason() gets what is wrong with anything else. O_NONBLOCK keeps a pipe from
// holding up the open until a writer comes; fstat then turns it away.
template <typename Refuse> std::optional<QByteArray> readRegularFile(const QString& path, Refuse refuse)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        refuse(systemError(errno));
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        refuse(systemError(errno));
    if (S_ISDIR(info.st_mode))
        refuse(QStringLiteral("it is a folder, not a file"));
    if (!S_ISREG(info.st_mode))
        refuse(QStringLiteral("it is not a regular file"));
    // The owner's read bit says what the user wants, also to root, who may read anyway.
    if ((info.st_mode & S_IRUSR) == 0)
        refuse(QStringLiteral("the file is not readable"));
    QByteArray text;
    char piece[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            refuse(systemError(errno));
        if (n == 0)
            return text;
        text.append(piece, n);
    }
}

// A save killed between creating its temporary file and renaming it leaves that file behind,
// password and all: the next save takes such leftovers away. They are the regular files of
// this user named as mkostemp names them for this file.
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

bool readOnly(const QString& path, const struct stat& info)
{
    // The owner's write bit says what the user wants, also to root, who may write anyway.
    return (info.st_mode & S_IWUSR) == 0 || ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

} // namespace

SettingsFile::SettingsFile(const QString& path) : mPath(path), mTarget(path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT)
            refuse(systemError(errno));
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            refuse(QStringLiteral("its folder cannot be created"));
        return;
    }
    if (S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(native.constData(), resolved) == nullptr)
            refuse(QStringLiteral("it is a symbolic link to a file that does not exist"));
        mTarget = QFile::decodeName(resolved);
        if (::stat(resolved, &info) != 0)
            refuse(systemError(errno));
        if (!S_ISREG(info.st_mode))
            refuse(QStringLiteral("it is a symbolic link to something that is not a file"));
        if (readOnly(mTarget, info))
            refuse(QStringLiteral("it is a symbolic link to a read-only file"));
        mMode = info.st_mode & 07777;
        mExists = true;
        return;
    }
    if (S_ISDIR(info.st_mode))
        refuse(QStringLiteral("it is a folder, not a file"));
    if (!S_ISREG(info.st_mode))
        refuse(QStringLiteral("it is not a regular file"));
    if (readOnly(path, info))
        refuse(QStringLiteral("the file is read-only"));
    mExists = true;
}

std::optional<QByteArray> SettingsFile::load(const QString& path)
{
    return readRegularFile(path, [&path](const QString& reason) { refuseLoad(path, reason); });
}

QByteArray SettingsFile::stamp(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QByteArray();
    const qint64 parts[] = {qint64(info.st_dev),         qint64(info.st_ino),
                            qint64(info.st_mode),        qint64(info.st_size),
                            qint64(info.st_mtim.tv_sec), qint64(info.st_mtim.tv_nsec),
                            qint64(info.st_ctim.tv_sec), qint64(info.st_ctim.tv_nsec)};
    return QByteArray(reinterpret_cast<const char*>(parts), sizeof parts);
}

QByteArray SettingsFile::read() const
{
    if (!mExists)
        return QByteArray();
    return readRegularFile(mTarget, [this](const QString& reason) { refuse(reason); }).value_or(QByteArray());
}

void SettingsFile::replace(const QByteArray& text) const
{
    const QFileInfo target(mTarget);
    removeLeftovers(target);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray temporary = folder + "/." + QFile::encodeName(target.fileName()) + ".XXXXXX";

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        refuse(QStringLiteral("cannot create a file in its folder: ") + systemError(errno));
    const bool written = writeAll(fd, text) && ::fchmod(fd, mMode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.constData());
        refuse(QStringLiteral("cannot write: ") + systemError(written ? errno : writeError));
    }
    if (::rename(temporary.constData(), QFile::encodeName(mTarget).constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        refuse(QStringLiteral("cannot replace the file: ") + systemError(renameError));
    }
    // The rename itself lives in the folder.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void SettingsFile::refuse(const QString& reason) const
{
    throw Failure(failures::kPathFileAccess,
                  QStringLiteral("Path/File access error: cannot save the settings to ") + mPath +
                      QStringLiteral(": ") + reason,
                  kSource);
}
