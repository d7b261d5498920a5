#include "platform/qt/SettingsFile.h"

#include "app/FileReplacement.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    if (info.st_size > SettingsFile::kMaxSize)
        refuse(QStringLiteral("the file is larger than %1 MB").arg(SettingsFile::kMaxSize >> 20));
    QByteArray text;
    text.reserve(static_cast<qsizetype>(info.st_size));
    char piece[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            refuse(systemError(errno));
        if (n == 0)
            return text;
        // The file may have grown since fstat.
        if (text.size() + n > SettingsFile::kMaxSize)
            refuse(QStringLiteral("the file is larger than %1 MB").arg(SettingsFile::kMaxSize >> 20));
        text.append(piece, n);
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
    if (const QString problem = FileReplacement::replace(mTarget, text, mMode); !problem.isEmpty())
        refuse(problem);
}

void SettingsFile::refuse(const QString& reason) const
{
    throw Failure(failures::kPathFileAccess,
                  QStringLiteral("Path/File access error: cannot save the settings to ") + mPath +
                      QStringLiteral(": ") + reason,
                  kSource);
}
