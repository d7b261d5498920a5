#pragma once

#include "platform/ISecretStore.h"

#include <QDeadlineTimer>
#include <QObject>

#include <chrono>
#include <functional>

namespace QKeychain {
class Job;
}

// The keyring over QtKeychain, which speaks the Secret Service and KDE Wallet. Its jobs answer
// on the event loop; each call answers once, with the job's outcome or with the deadline's. What
// a call cannot do is told from a look at the Secret Service itself over the session bus.
class QtSecretStore : public QObject, public ISecretStore
{
    Q_OBJECT
public:
    // For a whole call, a second try on a new session included.
    static constexpr std::chrono::seconds kDeadline{25};

    explicit QtSecretStore(QString service, std::chrono::milliseconds deadline = kDeadline)
        : mService(std::move(service)), mDeadline(deadline)
    {
    }

    void read(const QString& account, ReadDone done) override;
    void write(const QString& account, const QString& secret, Done done) override;
    void remove(const QString& account, Done done) override;
    void look(const QString& account, LookDone done) override;

private:
    // Runs the job that make gives for the account, and once more on a new session when it
    // failed on one that was then let go, within the deadline; done learns how it went, saying
    // what could not be done ("read the password of ... from") and why.
    void run(const std::function<QKeychain::Job*()>& make, const QString& account, const QString& doing,
             const QDeadlineTimer& deadline, bool again, ReadDone done);
    QString silence() const;

    QString mService;
    std::chrono::milliseconds mDeadline;
};
