#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

// The settings file on disk, as a save sees it. A regular file is replaced whole, at once,
// with mode 0600 (it holds the password); a symbolic link's target is replaced the same way
// and keeps its own mode. A folder, a read-only file, a link to nothing or anything else at
// the path is refused, and nothing is touched.
class SettingsFile
{
public:
    // No settings file is anywhere near this; a file larger is refused rather than read into
    // memory.
    static constexpr qint64 kMaxSize = qint64(128) << 20;

    // Looks at the path; throws Failure when the file must not be written.
    explicit SettingsFile(const QString& path);

    // What a load finds at the path: nothing when no file is there (nor at the end of a link),
    // else the text of the regular file there or at the end of the link. Anything else (a
    // folder, a pipe, a device) and a file its owner may not read are refused with a Failure
    // that says so. A pipe is never opened for reading, so nothing at the path can make a load
    // wait.
    static std::optional<QByteArray> load(const QString& path);

    // What changes whenever the file at the path (or at the end of the link) changes; empty
    // when nothing is there.
    static QByteArray stamp(const QString& path);

    // What the file holds now; empty when it does not exist yet.
    QByteArray read() const;

    // Writes the text to a new file beside the old one, makes it durable and renames it over
    // the old one: a reader, or a crash, sees the old text or the new, never a mixture.
    void replace(const QByteArray& text) const;

private:
    [[noreturn]] void refuse(const QString& reason) const;

    QString mPath;
    QString mTarget;
    mode_t mMode = 0600;
    bool mExists = false;
};
