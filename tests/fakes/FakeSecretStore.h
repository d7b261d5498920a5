#pragma once

#include "platform/Failure.h"
#include "platform/ISecretStore.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <chrono>
#include <functional>

// An in-memory keyring that can be locked, out of reach, frozen, or refuse one kind of call, and
// records its calls ("read alice@host", "write ...", "remove ...", "look ..."). It answers at
// once, inside the call, unless told to hold its answers until the test gives them.
class FakeSecretStore : public ISecretStore
{
public:
    // What a frozen keyring costs each call that waits for it.
    static constexpr std::chrono::seconds kDeadline{25};

    void read(const QString& account, ReadDone done) override
    {
        const std::optional<Failure> failure = call(QStringLiteral("read ") + account);
        if (!failure && !secrets.contains(account))
            return answer([done] {
                done(QString(), Failure(failures::kKeyringNoEntry, QStringLiteral("The keyring holds none"),
                                        QStringLiteral("FakeSecretStore")));
            });
        answer([done, failure, secret = secrets.value(account)] {
            done(failure ? QString() : secret, failure);
        });
    }
    void write(const QString& account, const QString& secret, Done done) override
    {
        const std::optional<Failure> failure = call(QStringLiteral("write ") + account);
        if (!failure)
            secrets.insert(account, secret);
        answer([done, failure] { done(failure); });
    }
    void remove(const QString& account, Done done) override
    {
        // A locked keyring answers "none there" and keeps it, as the real one may.
        const std::optional<Failure> failure = call(QStringLiteral("remove ") + account, true);
        if (!failure && !locked)
            secrets.remove(account);
        answer([done, failure] { done(failure); });
    }
    void look(const QString& account, LookDone done) override
    {
        calls.append(QStringLiteral("look ") + account);
        answer([done, found = lookAt(account)] { done(found); });
    }

    // Gives the answers held so far, in the order of their calls; false when none was held.
    bool answerHeld()
    {
        if (mHeld.isEmpty())
            return false;
        for (const std::function<void()>& give : std::exchange(mHeld, {}))
            give();
        return true;
    }

    QMap<QString, QString> secrets;
    QStringList calls;
    bool locked = false;            // locked, and the user does not unlock it
    bool unreachable = false;       // no session bus, or no keyring on it
    bool frozen = false;            // every call waits until its deadline
    bool otherBackend = false;      // a keyring that cannot be looked into
    bool holdAnswers = false;       // answers wait for answerHeld()
    QString refuse;                 // a call that begins with this ("write", "remove") fails
    std::chrono::seconds waited{0}; // what the calls waited for a frozen keyring, in all
    // Runs inside every call before it answers, as the event loop does while the real keyring is
    // waited for.
    std::function<void()> during;

private:
    // Why the call fails, if it does; a locked keyring may answer as if it had done it.
    std::optional<Failure> call(const QString& what, bool lockedAnswers = false)
    {
        calls.append(what);
        if (during)
            during();
        const auto failure = [](const QString& why) {
            return Failure(failures::kKeyring, why, QStringLiteral("FakeSecretStore"));
        };
        if (frozen) {
            waited += kDeadline;
            return failure(QStringLiteral("The keyring service did not answer"));
        }
        if (unreachable)
            return failure(QStringLiteral("The keyring cannot be reached"));
        if ((locked && !lockedAnswers) || (!refuse.isEmpty() && what.startsWith(refuse)))
            return failure(QStringLiteral("The keyring stays locked"));
        return std::nullopt;
    }

    SecretLook lookAt(const QString& account)
    {
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

    void answer(std::function<void()> give)
    {
        if (holdAnswers)
            mHeld.append(std::move(give));
        else
            give();
    }

    QList<std::function<void()>> mHeld;
};
