#include "settings/PasswordMove.h"

#include "app/Identity.h"
#include "platform/Failure.h"
#include "platform/ISecretStore.h"
#include "platform/ISettingsStore.h"
#include "platform/IWindowing.h"

namespace {

Failure differentPasswords(const QString& account)
{
    return Failure(
        failures::kPathFileAccess,
        QStringLiteral("The settings file and the keyring hold different passwords for ") + account +
            QStringLiteral(": remove the one you do not want (Password= in the file, or the keyring's "
                           "entry, in Seahorse say) and move again"),
        identity::kErrorSource);
}

Failure cannotTell(const QString& account, const QString& why)
{
    return Failure(failures::kKeyring,
                   QStringLiteral("Cannot tell whether the keyring holds the password of ") + account +
                       QStringLiteral(": ") + why,
                   identity::kErrorSource);
}

std::optional<Failure> withNote(const std::optional<Failure>& failure, const QString& note)
{
    if (!failure)
        return std::nullopt;
    return Failure(failure->number, failure->description + QStringLiteral("; ") + note, failure->source);
}

// Runs a step that writes the settings file, which fails at once if it fails: done learns how it went.
void written(const std::function<void()>& step, const PasswordMove::Done& done)
{
    try {
        step();
    } catch (const Failure& failure) {
        return done(failure);
    }
    done(std::nullopt);
}

} // namespace

void PasswordMove::to(PasswordPlace place, const CSettings& settings, Done done)
{
    const bool toKeyring = place == PasswordPlace::Keyring;
    const bool there = settings.passwordPlace() == place && !settings.passwordPlaceUnreadable();
    const QString inFile = settings.filePassword();
    if (!toKeyring && settings.passwordPlace() == PasswordPlace::File) {
        if (there)
            return done(std::nullopt);
        return written(
            [&] { mStore.write(mIdentity.title(), CSettings::kSection, {}, {CSettings::kPasswordStoreKey}); },
            done);
    }
    if (settings.namesNoAccount())
        return done(Failure(failures::kPathFileAccess,
                            QStringLiteral("Cannot move the password: ") + CSettings::kNoAccount +
                                QStringLiteral(", so the keyring has no account for it (fill them in first)"),
                            identity::kErrorSource));
    const QString account = settings.keyringAccount();
    // Where the password is when a step fails.
    const Done moved = [this, toKeyring, inFile, done](const std::optional<Failure>& failure) {
        done(withNote(
            failure,
            !toKeyring ? QStringLiteral("the password stays in the keyring")
            : mKeyringHoldsIt
                ? QStringLiteral("the password stays in the settings file, and the keyring keeps a copy")
            : !inFile.isEmpty() ? QStringLiteral("the password stays in the settings file")
                                : QStringLiteral("nothing was changed")));
    };
    if (toKeyring && inFile.isEmpty())
        return pointAtKeyring(account, there, moved);
    if (toKeyring)
        return intoKeyring(account, inFile, settings.passwordPlace() == PasswordPlace::Keyring, moved);
    intoFile(account, inFile, [this, account, moved, done](const std::optional<Failure>& failure) {
        if (failure)
            return moved(failure);
        mSecrets.remove(account, [this, account, done](const std::optional<Failure>& removal) {
            const Done copyKept = [done](const std::optional<Failure>& kept) {
                done(withNote(kept,
                              QStringLiteral(
                                  "the password is in the settings file now, and the keyring keeps a copy")));
            };
            if (removal)
                return copyKept(removal);
            checkRemoved(account, copyKept);
        });
    });
}

void PasswordMove::pointAtKeyring(const QString& account, bool marked, Done done)
{
    // Settings without a password (a restored backup, a hand edit) would wipe out the one the
    // keyring keeps: that one stays, and the settings point at it.
    const auto point = [this, marked, done] {
        if (marked)
            return done(std::nullopt);
        written([this] { markKeyring(); }, done);
    };
    mSecrets.look(account, [this, account, done, point](const SecretLook& look) {
        switch (look.state) {
        case SecretLook::State::Held:
            return point();
        case SecretLook::State::Locked:
            if (look.seen)
                return point();
            return done(cannotTell(account, look.why));
        case SecretLook::State::Unreachable:
            return done(cannotTell(account, look.why));
        case SecretLook::State::Unknown:
            // Only a read can tell.
            return mSecrets.read(account,
                                 [done, point](const QString&, const std::optional<Failure>& failure) {
                                     if (failure)
                                         return done(failure);
                                     point();
                                 });
        case SecretLook::State::Missing:
            return done(
                Failure(failures::kPathFileAccess,
                        QStringLiteral("Neither the settings file nor the keyring holds a password for ") +
                            account + CSettings::otherAccountsNote(look.others),
                        identity::kErrorSource));
        }
    });
}

void PasswordMove::intoKeyring(const QString& account, const QString& password, bool putBack, Done done)
{
    if (!putBack)
        return writeIntoKeyring(account, password, done);
    // One put back into the file beside the keyring's (an older copy, an edit) takes the
    // keyring's place only where the keyring holds none: two different ones are the user's to
    // choose from.
    mSecrets.look(account, [this, account, password, done](const SecretLook& look) {
        if (look.state == SecretLook::State::Unreachable ||
            (look.state == SecretLook::State::Locked && !look.seen))
            return done(cannotTell(account, look.why));
        if (look.state == SecretLook::State::Missing)
            return writeIntoKeyring(account, password, done);
        mSecrets.read(account, [this, account, password, done, look](const QString& kept,
                                                                     const std::optional<Failure>& failure) {
            // Only a read tells what a keyring that cannot be looked into holds.
            if (failure && look.state == SecretLook::State::Unknown &&
                failure->number == failures::kKeyringNoEntry)
                return writeIntoKeyring(account, password, done);
            if (failure)
                return done(failure);
            if (kept != password)
                return done(differentPasswords(account));
            mKeyringHoldsIt = true;
            written([this] { markKeyring(); }, done);
        });
    });
}

void PasswordMove::writeIntoKeyring(const QString& account, const QString& password, Done done)
{
    mSecrets.write(account, password, [this, account, password, done](const std::optional<Failure>& failure) {
        if (failure)
            return done(failure);
        mSecrets.read(account, [this, account, password, done](const QString& back,
                                                               const std::optional<Failure>& readBack) {
            if (readBack)
                return done(readBack);
            if (back != password)
                return done(Failure(failures::kKeyring,
                                    QStringLiteral("The keyring gave back another password for ") + account +
                                        QStringLiteral(" than it was given"),
                                    identity::kErrorSource));
            mKeyringHoldsIt = true;
            written([this] { markKeyring(); }, done);
        });
    });
}

void PasswordMove::markKeyring()
{
    mStore.write(
        mIdentity.title(), CSettings::kSection,
        {{CSettings::Key::Password, QString()}, {CSettings::kPasswordStoreKey, CSettings::kKeyringValue}});
}

void PasswordMove::intoFile(const QString& account, const QString& inFile, Done done)
{
    CSettings::readPassword(
        mSecrets, account,
        [this, inFile, account, done](const QString& password, const std::optional<Failure>& failure) {
            if (failure)
                return done(failure);
            if (!inFile.isEmpty() && inFile != password)
                return done(differentPasswords(account));
            const QString application = mIdentity.title();
            const auto stored = [&](const QString& key) {
                return mStore.read(application, CSettings::kSection, key, QString());
            };
            written(
                [&] {
                    mStore.write(application, CSettings::kSection, {{CSettings::Key::Password, password}},
                                 {CSettings::kPasswordStoreKey});
                    if (stored(CSettings::Key::Password) != password ||
                        !stored(CSettings::kPasswordStoreKey).isEmpty())
                        throw Failure(
                            failures::kPathFileAccess,
                            QStringLiteral("The settings file does not hold the password written to it"),
                            identity::kErrorSource);
                },
                done);
        });
}

void PasswordMove::checkRemoved(const QString& account, Done done)
{
    mSecrets.look(account, [account, done](const SecretLook& look) {
        if (look.state == SecretLook::State::Held || look.seen)
            return done(Failure(
                failures::kKeyring,
                QStringLiteral("The keyring answered that it removed the password of ") + account +
                    QStringLiteral(", but still holds it") +
                    (look.why.isEmpty() ? QString() : QStringLiteral(" (") + look.why + QLatin1Char(')')),
                identity::kErrorSource));
        done(std::nullopt);
    });
}
