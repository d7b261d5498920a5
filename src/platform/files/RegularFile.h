#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>
#include <sys/stat.h>
#include <utility>

// A regular file of the program's, opened so that nothing else at its path can hold the program
// up or feed it: a pipe or a device is never read or written. Every failure is a Failure, and one
// of the user's making says what to do: another user's file or folder (root's, after a run with
// sudo) is named with the chown that gives it back, as no change of mode is the user's to make.
class RegularFile
{
public:
    // Opened with open(2)'s flags (O_CREAT: mode 0600), or nothing when no file is there. What
    // stands there instead is said in the misfit's words for its type (S_IFDIR, S_IFIFO...), other
    // failures in the system's; without them, as "a folder is in its place" and the like, and
    // another user's file as whose it is.
    static std::optional<RegularFile> open(const QString& path, int flags,
                                           QString (*misfit)(mode_t) = nullptr);
    // The writers' lock in "<path>.lock" beside the file (a replacement puts a new file in place
    // of the file itself), waited for at most the patience.
    static RegularFile lockBeside(const QString& path, std::chrono::milliseconds patience);
    // Makes a folder for files, and those missing above it, for the owner only; throws when it
    // cannot be made or written in. Throws when the regular file at the path (a link is left
    // alone) is read-only.
    static void makeFolder(const QString& folder);
    static void checkWritable(const QString& path);
    // By the owner's write bit, which says what the user wants, also to root, who may write anyway.
    static bool readOnly(const QString& path, const struct stat& info);

    explicit RegularFile(int fd) : mFd(fd) {} // takes the descriptor over
    RegularFile(RegularFile&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
    ~RegularFile();

    struct stat status() const;
    QByteArray read(qint64 from, qint64 most) const; // fewer bytes where the file ends
    // The whole lines in its last bytes up to the most, none cut off at either end.
    QList<QByteArray> wholeLines(qint64 most) const;
    // Whole or not at all: what a full disk let through would glue itself to what comes next.
    void append(const QByteArray& text) const;
    void close(); // now, for it can be what says that the text never reached the disk

private:
    int mFd;
};
