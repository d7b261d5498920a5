#include "platform/qt/SettingsFile.h"

#include "platform/Failure.h"
#include "platform/files/FileReplacement.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kSource = QStringLiteral("SettingsStore");

QString notAFile(mode_t type)
{
    return S_ISDIR(type) ? QStringLiteral("it is a folder, not a file")
                         : QStringLiteral("it is not a regular file");
}

// The whole text of the regular file at the path (a link is followed), or nothing when there
// is none. Throws Failure saying what is wrong with anything else.
std::optional<QByteArray> readRegularFile(const QString& path)
{
    const std::optional<RegularFile> file = RegularFile::open(path, O_RDONLY, notAFile);
    if (!file)
        return std::nullopt;
    const struct stat info = file->status();
    const QString tooLarge =
        QStringLiteral("the file is larger than %1 MB").arg(SettingsFile::kMaxSize >> 20);
    // The owner's read bit says what the user wants, also to root, who may read anyway.
    if ((info.st_mode & S_IRUSR) == 0)
        throw failures::fileAccess(QStringLiteral("the file is not readable"));
    if (info.st_size > SettingsFile::kMaxSize)
        throw failures::fileAccess(tooLarge);
    QByteArray text = file->read(0, SettingsFile::kMaxSize + 1);
    // The file may have grown since.
    if (text.size() > SettingsFile::kMaxSize)
        throw failures::fileAccess(tooLarge);
    return text;
}

} // namespace

SettingsFile::SettingsFile(const QString& path) : mPath(path), mTarget(path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT)
            refuse(failures::systemError(errno));
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            refuse(QStringLiteral("its folder cannot be created"));
        return;
    }
    const bool link = S_ISLNK(info.st_mode);
    if (link) {
        mTarget = QFileInfo(path).canonicalFilePath();
        if (mTarget.isEmpty())
            refuse(QStringLiteral("it is a symbolic link to a file that does not exist"));
        if (::stat(QFile::encodeName(mTarget).constData(), &info) != 0)
            refuse(failures::systemError(errno));
        mMode = info.st_mode & 07777;
    }
    if (!S_ISREG(info.st_mode))
        refuse(link ? QStringLiteral("it is a symbolic link to something that is not a file")
                    : notAFile(info.st_mode));
    if (RegularFile::readOnly(mTarget, info))
        refuse(link ? QStringLiteral("it is a symbolic link to a read-only file")
                    : QStringLiteral("the file is read-only"));
    mExists = true;
}

std::optional<QByteArray> SettingsFile::load(const QString& path)
{
    try {
        return readRegularFile(path);
    } catch (const Failure& failure) {
        throw Failure(failure.number,
                      QStringLiteral("Path/File access error: cannot read the settings from ") + path +
                          QStringLiteral(": ") + failure.description,
                      kSource);
    }
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
    try {
        return readRegularFile(mTarget).value_or(QByteArray());
    } catch (const Failure& failure) {
        refuse(failure.description);
    }
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
