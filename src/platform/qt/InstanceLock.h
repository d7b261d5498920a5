#pragma once

#include "app/Identity.h"

#include <QString>

#include <utility>

// The lock that keeps a second copy of the program from running for the same user: a lock
// on a file in the user's runtime folder, held for as long as the program runs. The system
// lets go of it when the process ends, however it ends, so whatever file a dead copy left
// behind (empty, garbled, even a folder) never stops a later start.
class InstanceLock
{
public:
    // In the folder when one is given (it must exist), else in folder().
    explicit InstanceLock(QString name, QString folder = QString())
        : mName(std::move(name)), mFolder(std::move(folder))
    {
    }
    // The window's: no two windows of one user, and no move of the password while one runs.
    static InstanceLock forWindow() { return InstanceLock(identity::kTitle); }
    // The watcher's, beside the state it guards (the history's folder), so that one user has one
    // watcher whatever the environment it was started in.
    static InstanceLock forWatcher(const QString& folder)
    {
        return InstanceLock(QStringLiteral("watch"), folder);
    }
    ~InstanceLock();

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock; false when a running process holds it. Throws Failure when no lock can
    // be made at all.
    bool tryTake();

    // $XDG_RUNTIME_DIR when it is the user's and no one else may write in it, or else a folder
    // of the user's own under the temporary folder, made with mode 0700 and checked to be the
    // user's before it is used.
    static QString folder();

    QString path() const;

    // " (process N)" naming the holder by the number it wrote into the lock file, for a message;
    // empty when it is not known.
    QString holderNote() const;

private:
    QString mName;
    QString mFolder;
    int mFd = -1;
};
