#pragma once

#include "platform/ISecretStore.h"

#include <QDeadlineTimer>
#include <QObject>

#include <chrono>
#include <functional>

namespace QKeychain {
class Job;
}
class QDBusMessage;

// The keyring over QtKeychain, which speaks the Secret Service and KDE Wallet. Its jobs answer
// later: each call waits for its job in an event loop of its own, as a modal box would, up to a
// deadline. The user's input to the program's windows waits meanwhile (a keyring that asks to be
// unlocked asks in a window of its own); timers, sockets and signals are served, so the program
// may be ended during a call, and a caller looks whether it was before it goes on. What a call
// cannot do is told from a look at the Secret Service itself over the session bus.
class QtSecretStore : public QObject, public ISecretStore
{
    Q_OBJECT
public:
    // For a whole call, a second try on a new session included.
    static constexpr std::chrono::seconds kDeadline{25};

    explicit QtSecretStore(QString service, std::chrono::milliseconds deadline = kDeadline);

    QString read(const QString& account) override;
    void write(const QString& account, const QString& secret) override;
    void remove(const QString& account) override;
    SecretLook look(const QString& account) override;

private:
    // Starts the job for the account and waits for its end; throws Failure, saying what could
    // not be done ("read the password of ... from") and why, unless it succeeded.
    void run(QKeychain::Job* job, const QString& account, const QString& doing,
             const QDeadlineTimer& deadline, const std::function<void()>& succeeded = {});

    // Makes the call, and once more when it failed on a session that was then let go, both
    // within one deadline.
    template <typename Call> auto againOnANewSession(const Call& call) -> decltype(call(QDeadlineTimer()));

    SecretLook lookWithin(const QString& account, const QDeadlineTimer& deadline);
    // The Secret Service's answer, or an error reply; a NoReply error at the deadline.
    QDBusMessage ask(const QDBusMessage& call, const QDeadlineTimer& deadline);
    QString silence() const;

    QString mService;
    std::chrono::milliseconds mDeadline;
    bool mSessionDropped = false;
};
