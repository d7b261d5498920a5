#pragma once

#include "platform/Failure.h"
#include "platform/ISecretStore.h"

#include <QMap>
#include <QStringList>

#include <chrono>
#include <functional>

// An in-memory keyring that can be locked, out of reach, frozen, or refuse one kind of call, and
// records its calls ("read alice@host", "write ...", "remove ...", "look ...").
class FakeSecretStore : public ISecretStore
{
public:
    // What a frozen keyring costs each call that waits for it.
    static constexpr std::chrono::seconds kDeadline{25};

    QString read(const QString& account) override
    {
        call(QStringLiteral("read ") + account);
        if (!secrets.contains(account))
            throw Failure(failures::kKeyringNoEntry, QStringLiteral("The keyring holds none"),
                          QStringLiteral("FakeSecretStore"));
        return secrets.value(account);
    }
    void write(const QString& account, const QString& secret) override
    {
        call(QStringLiteral("write ") + account);
        secrets.insert(account, secret);
    }
    void remove(const QString& account) override
    {
        // A locked keyring answers "none there" and keeps it, as the real one may.
        if (call(QStringLiteral("remove ") + account, true))
            secrets.remove(account);
    }
    SecretLook look(const QString& account) override
    {
        calls.append(QStringLiteral("look ") + account);
        if (frozen)
            waited += kDeadline;
        if (frozen || unreachable)
            return {SecretLook::State::Unreachable, false, QStringLiteral("it cannot be reached"), {}};
        if (otherBackend)
            return {
                SecretLook::State::Unknown, false, QStringLiteral("it is not asked without opening it"), {}};
        if (locked)
            return {SecretLook::State::Locked, secrets.contains(account), QStringLiteral("it is locked"), {}};
        if (secrets.contains(account))
            return {SecretLook::State::Held, false, {}, {}};
        QStringList others = secrets.keys();
        others.removeAll(account);
        return {SecretLook::State::Missing, false, {}, others};
    }

    QMap<QString, QString> secrets;
    QStringList calls;
    bool locked = false;            // locked, and the user does not unlock it
    bool unreachable = false;       // no session bus, or no keyring on it
    bool frozen = false;            // every call waits until its deadline
    bool otherBackend = false;      // a keyring that cannot be looked into
    QString refuse;                 // a call that begins with this ("write", "remove") fails
    std::chrono::seconds waited{0}; // what the calls waited for a frozen keyring, in all
    // Runs inside every call, as the event loop does while the real keyring is waited for.
    std::function<void()> during;

private:
    // False when a locked keyring answers as if it had done it.
    bool call(const QString& what, bool lockedAnswers = false)
    {
        calls.append(what);
        if (during)
            during();
        if (frozen) {
            waited += kDeadline;
            throw Failure(failures::kKeyring, QStringLiteral("The keyring service did not answer"),
                          QStringLiteral("FakeSecretStore"));
        }
        if (unreachable)
            throw Failure(failures::kKeyring, QStringLiteral("The keyring cannot be reached"),
                          QStringLiteral("FakeSecretStore"));
        if (locked && lockedAnswers)
            return false;
        if (locked || (!refuse.isEmpty() && what.startsWith(refuse)))
            throw Failure(failures::kKeyring, QStringLiteral("The keyring stays locked"),
                          QStringLiteral("FakeSecretStore"));
        return true;
    }
};
