#pragma once

#include <QString>

// The desktop's keyring (the Secret Service, KDE Wallet): one secret per account, under the
// program's own service name. A call may wait for the keyring, and for the user when the keyring
// asks to be unlocked, but never without a deadline. Each throws Failure (failures::kKeyring),
// with a description that names the keyring, when the keyring cannot be reached, stays locked
// or refuses.
class ISecretStore
{
public:
    virtual ~ISecretStore() = default;

    // The secret stored for the account; none stored fails as well.
    virtual QString read(const QString& account) = 0;
    // Stores the secret for the account, in place of any earlier one.
    virtual void write(const QString& account, const QString& secret) = 0;
    // Takes away the account's secret; an account with none is no failure.
    virtual void remove(const QString& account) = 0;
};
