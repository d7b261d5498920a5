#pragma once

#include "platform/Failure.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the keyring says it holds for an account, asked without unlocking anything and without
// a word to the user.
struct SecretLook
{
    enum class State {
        Held,        // an entry, unlocked
        Locked,      // locked: an entry is there (seen), or may be hidden
        Missing,     // none, and nothing locked that could hide one
        Unreachable, // no session bus, no keyring on it, or the keyring did not answer
        Unknown,     // a keyring that cannot be asked without opening it
    };
    State state = State::Unknown;
    bool seen = false;  // Locked: an entry for the account is there
    QString why;        // what stands in the way, or what else the user should know
    QStringList others; // Missing: the accounts that do hold one of the program's passwords
};

// The desktop's keyring (the Secret Service, KDE Wallet): one secret per account, under the
// program's own service name. Each call answers through its callback, later, from the event
// loop: it may wait for the keyring, and for the user when the keyring asks to be unlocked, but
// never past a deadline. A call that fails answers with a Failure (failures::kKeyring) whose
// description names the keyring, when the keyring cannot be reached, stays locked or refuses;
// failures::kKeyringNoEntry when it answered that it holds none for the account.
class ISecretStore
{
public:
    using Done = std::function<void(const std::optional<Failure>& failure)>;
    using ReadDone = std::function<void(const QString& secret, const std::optional<Failure>& failure)>;
    using LookDone = std::function<void(const SecretLook& look)>;

    virtual ~ISecretStore() = default;

    // The secret stored for the account; none stored fails as well.
    virtual void read(const QString& account, ReadDone done) = 0;
    // Stores the secret for the account, in place of any earlier one.
    virtual void write(const QString& account, const QString& secret, Done done) = 0;
    // Takes away the account's secret; an account with none is no failure. A locked keyring may
    // answer so while it keeps the secret: look() tells.
    virtual void remove(const QString& account, Done done) = 0;
    // What the keyring holds for the account, within the same deadline as a call; never fails.
    virtual void look(const QString& account, LookDone done) = 0;
};
