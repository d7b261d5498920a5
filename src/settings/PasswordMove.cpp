#include "settings/PasswordMove.h"

#include "app/Identity.h"
#include "platform/Failure.h"
#include "platform/ISecretStore.h"
#include "platform/ISettingsStore.h"
#include "platform/IWindowing.h"

namespace {

const QString kPasswordKey = QStringLiteral("Password");

Failure withNote(const Failure& failure, const QString& note)
{
    return Failure(failure.number, failure.description + QStringLiteral("; ") + note, failure.source);
}

} // namespace

PasswordMove::PasswordMove(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity)
    : mStore(store), mSecrets(secrets), mIdentity(identity)
{
}

void PasswordMove::to(PasswordPlace place, const CSettings& settings)
{
    if (settings.passwordPlace() == place) {
        // A password put back into the file by hand is not the one used: it does not stay there.
        if (place == PasswordPlace::Keyring &&
            !mStore.read(mIdentity.title(), CSettings::kSection, kPasswordKey, QString()).isEmpty())
            markKeyring();
        return;
    }
    const QString account = settings.keyringAccount();
    const bool toKeyring = place == PasswordPlace::Keyring;
    try {
        if (toKeyring)
            intoKeyring(account, settings.Password());
        else
            intoFile(account);
    } catch (const Failure& failure) {
        throw withNote(
            failure,
            !toKeyring ? QStringLiteral("the password stays in the keyring")
            : mKeyringHoldsIt
                ? QStringLiteral("the password stays in the settings file, and the keyring keeps a copy")
                : QStringLiteral("the password stays in the settings file"));
    }
    if (toKeyring)
        return;
    try {
        mSecrets.remove(account);
    } catch (const Failure& failure) {
        throw withNote(failure, QStringLiteral("the password is in the settings file now, and the keyring "
                                               "keeps a copy"));
    }
}

void PasswordMove::intoKeyring(const QString& account, const QString& password)
{
    // Settings without a password (a restored backup, a hand edit) would wipe out the one the
    // keyring keeps: that one stays, and the settings point at it.
    if (password.isEmpty()) {
        QString kept;
        try {
            kept = mSecrets.read(account);
        } catch (const Failure&) {
            // Not there, or the keyring cannot say: either way nothing is moved.
        }
        if (kept.isEmpty())
            throw Failure(failures::kPathFileAccess,
                          QStringLiteral("The settings hold no password to move into the keyring for ") +
                              account,
                          identity::kErrorSource);
        markKeyring();
        return;
    }
    mSecrets.write(account, password);
    if (mSecrets.read(account) != password)
        throw Failure(failures::kKeyring,
                      QStringLiteral("The keyring gave back another password for ") + account +
                          QStringLiteral(" than it was given"),
                      identity::kErrorSource);
    mKeyringHoldsIt = true;
    markKeyring();
}

void PasswordMove::markKeyring()
{
    mStore.write(mIdentity.title(), CSettings::kSection,
                 {{kPasswordKey, QString()}, {CSettings::kPasswordStoreKey, CSettings::kKeyringValue}});
}

void PasswordMove::intoFile(const QString& account)
{
    const QString password = mSecrets.read(account);
    const QString application = mIdentity.title();
    mStore.write(application, CSettings::kSection, {{kPasswordKey, password}},
                 {CSettings::kPasswordStoreKey});
    if (mStore.read(application, CSettings::kSection, kPasswordKey, QString()) != password ||
        !mStore.read(application, CSettings::kSection, CSettings::kPasswordStoreKey, QString()).isEmpty())
        throw Failure(failures::kPathFileAccess,
                      QStringLiteral("The settings file does not hold the password written to it"),
                      identity::kErrorSource);
}
