#pragma once

#include "settings/CSettings.h"

class ISettingsStore;
class IWindowing;

// Moves the stored password between the settings file and the keyring so that at every moment,
// a kill included, it can be read from one of the two: the new place is written and read back
// before the old one is cleared, and the file changes in one step. Only the password and the key
// beside the ten change; every other byte of the file stays. A password is never cleared from
// one place unless the other holds it, read back. The keyring answers later: a move runs on the
// event loop, and the object lives until it is done.
class PasswordMove
{
public:
    using Done = ISecretStore::Done;

    PasswordMove(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity)
        : mStore(store), mSecrets(secrets), mIdentity(identity)
    {
    }

    // Moves the password of the loaded settings to the place; when it is there already, checks
    // that the place holds it (and writes a place key that could not be read anew). done learns
    // of a step that failed or of neither place holding one, with where the password is.
    void to(PasswordPlace place, const CSettings& settings, Done done);

private:
    // Each writes the new place and reads it back; the file's change clears the old place or
    // (moving out of the keyring) is followed by the keyring's removal.
    // putBack: the settings said the keyring keeps it already.
    void intoKeyring(const QString& account, const QString& password, bool putBack, Done done);
    void writeIntoKeyring(const QString& account, const QString& password, Done done);
    void intoFile(const QString& account, const QString& inFile, Done done);
    // The keyring holds one for the account already: the settings point at it.
    void pointAtKeyring(const QString& account, bool marked, Done done);
    // The settings say the keyring keeps the password, and hold none themselves.
    void markKeyring();
    // A removal that the keyring answered may have left the password there (a locked keyring
    // answers "none there").
    void checkRemoved(const QString& account, Done done);

    ISettingsStore& mStore;
    ISecretStore& mSecrets;
    const IWindowing& mIdentity;
    bool mKeyringHoldsIt = false; // the keyring gave back what it was given
};
