#pragma once

#include "platform/ISecretStore.h"

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>

// One look at what the desktop's keyring holds for an account, asked of the Secret Service over
// the session bus without unlocking anything or asking the user: a chain of calls, each
// answered on the event loop, all within one deadline. It lets go of itself once it has told.
class SecretServiceLook : public QObject
{
    Q_OBJECT
public:
    // Looks for the entry that the keychain stores under the service and the account.
    static void start(QObject* parent, const QString& service, const QString& account,
                      const QDeadlineTimer& deadline, const QString& silence, ISecretStore::LookDone done);

private:
    SecretServiceLook(QObject* parent, QString service, QString account, const QDeadlineTimer& deadline,
                      QString silence, ISecretStore::LookDone done);

    void begin();
    void searched(const QDBusMessage& reply);
    void collectionsListed(const QDBusMessage& reply);
    void aliasRead(const QDBusMessage& reply);
    void othersFound(const QDBusMessage& reply);
    // Sends the call; the answer, or an error reply once the deadline has passed.
    void ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> answered);
    void tell(const SecretLook& look);

    QString mService;
    QString mAccount;
    QDeadlineTimer mDeadline;
    QString mSilence;
    ISecretStore::LookDone mDone;
    SecretLook mFound{SecretLook::State::Missing, false, {}, {}};
    QStringList mCollections;
    int mWaiting = 0; // answers still to come of calls sent together
};
