#include "platform/qt/SettingsFile.h"

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

QByteArray SettingsFile::read() const
{
    if (!mExists)
        return QByteArray();
    QFile file(mTarget);
    if (!file.open(QIODevice::ReadOnly))
        refuse(file.errorString());
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        refuse(file.errorString());
    return text;
}

void SettingsFile::replace(const QByteArray& text) const
{
    const QFileInfo target(mTarget);
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
