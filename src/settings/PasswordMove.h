#pragma once

#include "settings/CSettings.h"

class ISecretStore;
class ISettingsStore;
class IWindowing;

// Moves the stored password between the settings file and the keyring so that at every moment,
// a kill included, it can be read from one of the two: the new place is written and read back
// before the old one is cleared, and the file changes in one step. Only the password and the key
// beside the ten change; every other byte of the file stays.
class PasswordMove
{
public:
    PasswordMove(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity);

    // Moves the password of the loaded settings to the place, unless it is there already.
    // Throws Failure, saying where the password is, when a step fails.
    void to(PasswordPlace place, const CSettings& settings);

private:
    // Each writes the new place and reads it back; the file's change clears the old place or
    // (moving out of the keyring) is followed by the keyring's removal.
    void intoKeyring(const QString& account, const QString& password);
    void intoFile(const QString& account);
    // The settings say the keyring keeps the password, and hold none themselves.
    void markKeyring();

    ISettingsStore& mStore;
    ISecretStore& mSecrets;
    const IWindowing& mIdentity;
    bool mKeyringHoldsIt = false; // the keyring gave back what it was given
};
