#include "platform/qt/QtSecretStore.h"

#include "platform/Failure.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <dlfcn.h>
#include <utility>

namespace {

const QString kSource = QStringLiteral("Keyring");

enum class End { None, Finished, Deadline };

QString reason(const QKeychain::Job& job, const QString& account)
{
    switch (job.error()) {
    case QKeychain::EntryNotFound:
        // A locked keyring hides what it holds from a search.
        return QStringLiteral("it holds none for ") + account + QStringLiteral(", or it is locked");
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("it stays locked: unlocking it was refused");
    case QKeychain::NoBackendAvailable:
        return QStringLiteral(
                   "there is none on the session bus (neither the Secret Service nor KDE Wallet): ") +
               job.errorString();
    default:
        return job.errorString();
    }
}

// The secret library that the keychain loads keeps one session with the keyring's service for
// the whole process. When the service has started again (an update, a crash, a new login)
// every later call fails on that session, so a call that failed lets it go: the next one opens
// a new one. Nothing is done when the library is not loaded; true when it was let go.
bool forgetKeyringSession()
{
    void* library = ::dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return false;
    void* symbol = ::dlsym(library, "secret_service_disconnect");
    if (symbol)
        reinterpret_cast<void (*)()>(symbol)();
    ::dlclose(library);
    return symbol != nullptr;
}

} // namespace

QtSecretStore::QtSecretStore(QString service, std::chrono::milliseconds deadline)
    : mService(std::move(service)), mDeadline(deadline)
{
}

QString QtSecretStore::read(const QString& account)
{
    return againOnANewSession([&] {
        auto* job = new QKeychain::ReadPasswordJob(mService, this);
        QString secret;
        run(job, account, QStringLiteral("read the password of ") + account + QStringLiteral(" from"),
            [&] { secret = job->textData(); });
        return secret;
    });
}

void QtSecretStore::write(const QString& account, const QString& secret)
{
    againOnANewSession([&] {
        auto* job = new QKeychain::WritePasswordJob(mService, this);
        job->setTextData(secret);
        run(job, account, QStringLiteral("store the password of ") + account + QStringLiteral(" in"));
    });
}

void QtSecretStore::remove(const QString& account)
{
    againOnANewSession([&] {
        auto* job = new QKeychain::DeletePasswordJob(mService, this);
        try {
            run(job, account, QStringLiteral("remove the password of ") + account + QStringLiteral(" from"));
        } catch (const Failure&) {
            // Nothing to take away is what was asked for.
            if (job->error() != QKeychain::EntryNotFound)
                throw;
        }
    });
}

template <typename Call> auto QtSecretStore::againOnANewSession(const Call& call) -> decltype(call())
{
    mSessionDropped = false;
    try {
        return call();
    } catch (const Failure&) {
        // A keyring service that has started again answers on a new session.
        if (!std::exchange(mSessionDropped, false))
            throw;
        return call();
    }
}

void QtSecretStore::run(QKeychain::Job* job, const QString& account, const QString& doing,
                        const std::function<void()>& succeeded)
{
    job->setAutoDelete(false);
    job->setKey(account);
    End end = End::None;
    {
        QEventLoop loop;
        connect(job, &QKeychain::Job::finished, &loop, [&] {
            end = End::Finished;
            loop.quit();
        });
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, [&] {
            end = End::Deadline;
            loop.quit();
        });
        deadline.start(mDeadline);
        job->start();
        // A job that fails at once has ended before the loop could start.
        if (end == End::None)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const QString failed = QStringLiteral("Cannot ") + doing + QStringLiteral(" the keyring: ");
    if (end != End::Finished) {
        // It lets go of itself whenever it ends.
        job->setAutoDelete(true);
        throw Failure(failures::kKeyring,
                      failed + (end == End::Deadline
                                    ? QStringLiteral("it did not answer within ") +
                                          QString::number(std::chrono::duration<double>(mDeadline).count()) +
                                          QStringLiteral(" seconds")
                                    : QStringLiteral("the program was ended while it waited")),
                      kSource);
    }
    job->deleteLater();
    if (job->error() != QKeychain::NoError) {
        if (job->error() != QKeychain::EntryNotFound && job->error() != QKeychain::AccessDeniedByUser)
            mSessionDropped = forgetKeyringSession();
        throw Failure(failures::kKeyring, failed + reason(*job, account), kSource);
    }
    if (succeeded)
        succeeded();
}
