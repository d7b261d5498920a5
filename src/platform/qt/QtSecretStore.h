#pragma once

#include "platform/ISecretStore.h"

#include <QObject>

#include <chrono>
#include <functional>

namespace QKeychain {
class Job;
}

// The keyring over QtKeychain, which speaks the Secret Service and KDE Wallet. Its jobs answer
// later: each call waits for its job in an event loop of its own, as a modal box would, up to a
// deadline. The user's input to the program's windows waits meanwhile (a keyring that asks to be
// unlocked asks in a window of its own); timers, sockets and signals are served, so the program
// may be ended during a call, and a caller looks whether it was before it goes on.
class QtSecretStore : public QObject, public ISecretStore
{
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kDeadline{60};

    explicit QtSecretStore(QString service, std::chrono::milliseconds deadline = kDeadline);

    QString read(const QString& account) override;
    void write(const QString& account, const QString& secret) override;
    void remove(const QString& account) override;

private:
    // Starts the job for the account and waits for its end; throws Failure, saying what could
    // not be done ("read the password of ... from"), unless it succeeded.
    void run(QKeychain::Job* job, const QString& account, const QString& doing,
             const std::function<void()>& succeeded = {});

    // Makes the call, and once more when it failed on a session that was then let go.
    template <typename Call> auto againOnANewSession(const Call& call) -> decltype(call());

    QString mService;
    std::chrono::milliseconds mDeadline;
    bool mSessionDropped = false;
};
