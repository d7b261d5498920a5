#include "app/Autostart.h"

#include "app/Identity.h"
#include "app/MenuEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Autostart::Autostart(const QString& configHome)
    : mEntryPath(configHome + QStringLiteral("/autostart/") + identity::kApplicationId +
                 QStringLiteral(".desktop"))
{
}

namespace {

bool writeAll(int fd, const QByteArray& text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool Autostart::isOn() const
{
    return QFileInfo(mEntryPath).isFile();
}

bool Autostart::turnOn(QString& error) const
{
    const QString folder = QFileInfo(mEntryPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder ") + folder;
        return false;
    }
    // Written beside the entry and renamed over its own path: a failure leaves the old entry
    // whole, and a link there is replaced rather than followed to a file it points at.
    const QByteArray entry = QFile::encodeName(mEntryPath);
    QByteArray temporary = entry + ".XXXXXX";
    const auto failed = [&](int cause) {
        error = QStringLiteral("cannot write ") + mEntryPath + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(cause));
        return false;
    };
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    bool done = writeAll(fd, entryText()) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    int cause = errno;
    ::close(fd);
    if (done) {
        done = ::rename(temporary.constData(), entry.constData()) == 0;
        cause = errno;
    }
    if (done)
        return true;
    ::unlink(temporary.constData());
    return failed(cause);
}

bool Autostart::turnOff(QString& error) const
{
    QFile file(mEntryPath);
    if (file.remove() || !QFileInfo(mEntryPath).exists())
        return true;
    error = QStringLiteral("cannot remove ") + mEntryPath + QStringLiteral(": ") + file.errorString();
    return false;
}

QByteArray Autostart::entryText()
{
    QList<QByteArray> lines = QByteArray(menuentry::kText).split('\n');
    for (QByteArray& line : lines) {
        if (line.startsWith("Exec="))
            line += " --minimize";
    }
    return lines.join('\n');
}
