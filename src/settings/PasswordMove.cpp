#include "settings/PasswordMove.h"

#include "app/Identity.h"
#include "platform/Failure.h"
#include "platform/ISecretStore.h"
#include "platform/ISettingsStore.h"
#include "platform/IWindowing.h"

#include <optional>

namespace {

const QString kPasswordKey = QStringLiteral("Password");

Failure differentPasswords(const QString& account)
{
    return Failure(
        failures::kPathFileAccess,
        QStringLiteral("The settings file and the keyring hold different passwords for ") + account +
            QStringLiteral(": remove the one you do not want (Password= in the file, or the keyring's "
                           "entry, in Seahorse say) and move again"),
        identity::kErrorSource);
}

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
    const bool toKeyring = place == PasswordPlace::Keyring;
    const bool there = settings.passwordPlace() == place && !settings.passwordPlaceUnreadable();
    const QString inFile = settings.filePassword();
    if (!toKeyring && settings.passwordPlace() == PasswordPlace::File) {
        if (!there)
            mStore.write(mIdentity.title(), CSettings::kSection, {}, {CSettings::kPasswordStoreKey});
        return;
    }
    if (settings.namesNoAccount())
        throw Failure(failures::kPathFileAccess,
                      QStringLiteral("Cannot move the password: ") + CSettings::kNoAccount +
                          QStringLiteral(", so the keyring has no account for it (fill them in first)"),
                      identity::kErrorSource);
    const QString account = settings.keyringAccount();
    try {
        if (!toKeyring)
            intoFile(account, inFile);
        else if (inFile.isEmpty())
            pointAtKeyring(account, there);
        else
            intoKeyring(account, inFile, settings.passwordPlace() == PasswordPlace::Keyring);
    } catch (const Failure& failure) {
        throw withNote(
            failure,
            !toKeyring ? QStringLiteral("the password stays in the keyring")
            : mKeyringHoldsIt
                ? QStringLiteral("the password stays in the settings file, and the keyring keeps a copy")
            : !inFile.isEmpty() ? QStringLiteral("the password stays in the settings file")
                                : QStringLiteral("nothing was changed"));
    }
    if (toKeyring)
        return;
    try {
        mSecrets.remove(account);
        checkRemoved(account);
    } catch (const Failure& failure) {
        throw withNote(failure, QStringLiteral("the password is in the settings file now, and the keyring "
                                               "keeps a copy"));
    }
}

void PasswordMove::pointAtKeyring(const QString& account, bool marked)
{
    // Settings without a password (a restored backup, a hand edit) would wipe out the one the
    // keyring keeps: that one stays, and the settings point at it.
    const SecretLook look = mSecrets.look(account);
    switch (look.state) {
    case SecretLook::State::Held:
        break;
    case SecretLook::State::Locked:
        if (look.seen)
            break;
        [[fallthrough]];
    case SecretLook::State::Unreachable:
        throw Failure(failures::kKeyring,
                      QStringLiteral("Cannot tell whether the keyring holds the password of ") + account +
                          QStringLiteral(": ") + look.why,
                      identity::kErrorSource);
    case SecretLook::State::Unknown:
        // Only a read can tell.
        mSecrets.read(account);
        break;
    case SecretLook::State::Missing:
        throw Failure(failures::kPathFileAccess,
                      QStringLiteral("Neither the settings file nor the keyring holds a password for ") +
                          account + CSettings::otherAccountsNote(look.others),
                      identity::kErrorSource);
    }
    if (!marked)
        markKeyring();
}

void PasswordMove::intoKeyring(const QString& account, const QString& password, bool putBack)
{
    // One put back into the file beside the keyring's (an older copy, an edit) takes the
    // keyring's place only where the keyring holds none: two different ones are the user's to
    // choose from.
    if (putBack) {
        const SecretLook look = mSecrets.look(account);
        if (look.state == SecretLook::State::Unreachable ||
            (look.state == SecretLook::State::Locked && !look.seen))
            throw Failure(failures::kKeyring,
                          QStringLiteral("Cannot tell whether the keyring holds the password of ") + account +
                              QStringLiteral(": ") + look.why,
                          identity::kErrorSource);
        std::optional<QString> kept;
        try {
            if (look.state != SecretLook::State::Missing)
                kept = mSecrets.read(account);
        } catch (const Failure& failure) {
            // Only a read tells what a keyring that cannot be looked into holds.
            if (look.state != SecretLook::State::Unknown || failure.number != failures::kKeyringNoEntry)
                throw;
        }
        if (kept && *kept != password)
            throw differentPasswords(account);
        if (kept) {
            mKeyringHoldsIt = true;
            markKeyring();
            return;
        }
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

void PasswordMove::intoFile(const QString& account, const QString& inFile)
{
    const QString password = CSettings::readPassword(mSecrets, account);
    if (!inFile.isEmpty() && inFile != password)
        throw differentPasswords(account);
    const QString application = mIdentity.title();
    mStore.write(application, CSettings::kSection, {{kPasswordKey, password}},
                 {CSettings::kPasswordStoreKey});
    if (mStore.read(application, CSettings::kSection, kPasswordKey, QString()) != password ||
        !mStore.read(application, CSettings::kSection, CSettings::kPasswordStoreKey, QString()).isEmpty())
        throw Failure(failures::kPathFileAccess,
                      QStringLiteral("The settings file does not hold the password written to it"),
                      identity::kErrorSource);
}

void PasswordMove::checkRemoved(const QString& account)
{
    const SecretLook look = mSecrets.look(account);
    if (look.state == SecretLook::State::Held || look.seen)
        throw Failure(
            failures::kKeyring,
            QStringLiteral("The keyring answered that it removed the password of ") + account +
                QStringLiteral(", but still holds it") +
                (look.why.isEmpty() ? QString() : QStringLiteral(" (") + look.why + QLatin1Char(')')),
            identity::kErrorSource);
}
