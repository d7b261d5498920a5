#include "platform/qt/QtSecretStore.h"

#include "platform/qt/SecretServiceLook.h"

#include <QTimer>

#include <qt6keychain/keychain.h>

#include <dlfcn.h>
#include <utility>

namespace {

const QString kSource = QStringLiteral("Keyring");

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

void QtSecretStore::read(const QString& account, ReadDone done)
{
    run([this] { return new QKeychain::ReadPasswordJob(mService, this); }, account,
        QStringLiteral("read the password of ") + account + QStringLiteral(" from"),
        QDeadlineTimer(mDeadline), true, std::move(done));
}

void QtSecretStore::write(const QString& account, const QString& secret, Done done)
{
    run(
        [this, secret] {
            auto* job = new QKeychain::WritePasswordJob(mService, this);
            job->setTextData(secret);
            return job;
        },
        account, QStringLiteral("store the password of ") + account + QStringLiteral(" in"),
        QDeadlineTimer(mDeadline), true,
        [done](const QString&, const std::optional<Failure>& failure) { done(failure); });
}

void QtSecretStore::remove(const QString& account, Done done)
{
    run([this] { return new QKeychain::DeletePasswordJob(mService, this); }, account,
        QStringLiteral("remove the password of ") + account + QStringLiteral(" from"),
        QDeadlineTimer(mDeadline), true,
        [done](const QString&, const std::optional<Failure>& failure) {
            // Nothing to take away is what was asked for.
            done(failure && failure->number == failures::kKeyringNoEntry ? std::nullopt : failure);
        });
}

void QtSecretStore::look(const QString& account, LookDone done)
{
    SecretServiceLook::start(this, mService, account, QDeadlineTimer(mDeadline), silence(), std::move(done));
}

void QtSecretStore::run(const std::function<QKeychain::Job*()>& make, const QString& account,
                        const QString& doing, const QDeadlineTimer& deadline, bool again, ReadDone answer)
{
    // Told from an event of its own: an answer given inside the keychain's own callback would
    // keep the keyring's later answers from coming while the caller waits (a dialog it opens).
    const ReadDone done = [this, answer](const QString& text, const std::optional<Failure>& failure) {
        QMetaObject::invokeMethod(
            this, [answer, text, failure] { answer(text, failure); }, Qt::QueuedConnection);
    };
    const QString failed = QStringLiteral("Cannot ") + doing + QStringLiteral(" the keyring: ");
    QKeychain::Job* job = make();
    job->setAutoDelete(true);
    job->setKey(account);
    // Answered once: by the job, or by the deadline, after which the job runs on and lets go of
    // itself unheard.
    auto* timer = new QTimer(job);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, job, failed, done] {
        job->disconnect(this);
        done(QString(), Failure(failures::kKeyring, failed + silence(), kSource));
    });
    connect(
        job, &QKeychain::Job::finished, this,
        [this, timer, failed, done, answer, make, account, doing, deadline, again](QKeychain::Job* finished) {
            timer->stop();
            const QKeychain::Error error = finished->error();
            if (error == QKeychain::NoError) {
                const auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(finished);
                return done(reading ? reading->textData() : QString(), std::nullopt);
            }
            if (error == QKeychain::AccessDeniedByUser)
                return done(QString(),
                            Failure(failures::kKeyring,
                                    failed + QStringLiteral("it stays locked: unlocking it was refused"),
                                    kSource));
            // A keyring service that has started again answers on a new session.
            const bool dropped = error != QKeychain::EntryNotFound && forgetKeyringSession();
            if (dropped && again && !deadline.hasExpired())
                return run(make, account, doing, deadline, false, answer);
            // What stands in the way, as the keyring says it; the job lets go of itself
            // meanwhile, so what it said is taken now.
            const QString said = finished->errorString();
            const auto tellWhy = [done, failed, said, error, account](const SecretLook& found) {
                long number = failures::kKeyring;
                QString why = said;
                if (found.state == SecretLook::State::Locked)
                    why = QStringLiteral(
                        "it is locked, and was not unlocked: unlock it (in Seahorse, say) and try again");
                else if (found.state == SecretLook::State::Unreachable)
                    why = found.why;
                else if (error == QKeychain::EntryNotFound) {
                    number = failures::kKeyringNoEntry;
                    why = QStringLiteral("it holds none for ") + account;
                } else if (found.state == SecretLook::State::Missing && !found.why.isEmpty())
                    why = found.why; // no collection to store it in
                done(QString(), Failure(number, failed + why, kSource));
            };
            // The secret library gives up on a silent service when this deadline ends, too.
            if (deadline.hasExpired())
                return tellWhy({SecretLook::State::Unreachable, false, silence(), {}});
            SecretServiceLook::start(this, mService, account, deadline, silence(), tellWhy);
        });
    timer->start(int(std::max<qint64>(0, deadline.remainingTime())));
    // From the event loop: a job that fails at once answers later all the same.
    QMetaObject::invokeMethod(job, &QKeychain::Job::start, Qt::QueuedConnection);
}

QString QtSecretStore::silence() const
{
    return QStringLiteral("the keyring service did not answer within ") +
           QString::number(std::chrono::duration<double>(mDeadline).count()) +
           QStringLiteral(" seconds (it may hang: logging out and in again starts it anew)");
}
