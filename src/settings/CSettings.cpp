#include "settings/CSettings.h"

#include "app/Identity.h"
#include "platform/ISettingsStore.h"
#include "platform/IWindowing.h"
#include "settings/TextConversion.h"

#include <type_traits>

SettingsReference gSettings;

namespace {
// A hand-edited value is quoted in a message, but not at any length.
constexpr qsizetype kQuotedLength = 40;

// The start of the message for a hand-edited value that is none of those the key takes.
QString mismatch(const QString& text)
{
    return QStringLiteral("Type mismatch: \"") + text.left(kQuotedLength) +
           (text.size() > kQuotedLength ? QStringLiteral("\u2026") : QString()) + QLatin1Char('"');
}
} // namespace

CSettings::CSettings(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity)
    : mStore(store), mSecrets(secrets), mIdentity(identity)
{
    using namespace TextConversion;
    load(mDomain, Key::Domain, toLong);
    load(mSubDomain, Key::SubDomain, std::identity());
    load(mUsername, Key::Username, std::identity());
    load(mPassword, Key::Password, std::identity());
    load(mServer, Key::Server, std::identity());
    load(mPort, Key::Port, toLong);
    load(mCurrentIP, Key::CurrentIP, toBoolean);
    load(mOtherIP, Key::OtherIP, std::identity());
    load(mUpdateOnConnection, Key::UpdateOnConnection, toBoolean);
    load(mMinimizeToSystemTray, Key::MinimizeToSystemTray, toBoolean);
    load(mAddressFrom, kAddressFromKey, [](const QString& text) {
        const std::optional<AddressFrom> from = AddressFrom::read(text);
        if (!from)
            throw Failure(
                failures::kTypeMismatch,
                mismatch(text) +
                    QStringLiteral(" is neither auto, connection, router nor an http:// or https:// URL (") +
                    identity::kProgram + QStringLiteral(" --address-from auto writes a valid one)"),
                identity::kErrorSource);
        return *from;
    });
    load(mPasswordPlace, kPasswordStoreKey, [](const QString& text) {
        if (text.trimmed().compare(kKeyringValue, Qt::CaseInsensitive) == 0)
            return PasswordPlace::Keyring;
        if (!text.isEmpty() && text.trimmed().compare(kFileValue, Qt::CaseInsensitive) != 0)
            throw Failure(failures::kTypeMismatch,
                          mismatch(text) + QStringLiteral(" is neither ") + kKeyringValue +
                              QStringLiteral(" nor ") + kFileValue + QStringLiteral(" (") +
                              identity::kProgram + QStringLiteral(" --password-store ") + kKeyringValue +
                              QStringLiteral(", or ") + kFileValue + QStringLiteral(", writes a valid one)"),
                          identity::kErrorSource);
        return PasswordPlace::File;
    });
    // A value no copy of the program writes (a hand edit): the password is taken to be where it
    // is found, so that no save loses it. With none in the file, the keyring keeps it.
    mPasswordPlaceUnreadable = !mLoadFailures.empty() && mLoadFailures.back().key == kPasswordStoreKey;
    if (mPasswordPlaceUnreadable)
        mPasswordPlace = mPassword.isEmpty() ? PasswordPlace::Keyring : PasswordPlace::File;
    // What a copy that knew no keyring may have left in the file is not the password in use,
    // but it may be the only copy: a save keeps it until the keyring is known to hold one.
    mFilePassword = mPassword;
    if (mPasswordPlace == PasswordPlace::Keyring)
        mPassword.clear();
}

// The field holds its default on entry. The default's own text form is what an absent key
// reads as, so an absent key and a stored default load alike.
template <typename T, typename Convert> void CSettings::load(T& field, const QString& key, Convert convert)
{
    QString defaultText;
    if constexpr (std::is_same_v<T, bool>)
        defaultText = TextConversion::fromBoolean(field);
    else if constexpr (std::is_same_v<T, qint32>)
        defaultText = TextConversion::fromLong(field);
    else if constexpr (std::is_same_v<T, QString>)
        defaultText = field;

    if (mStoreUnreadable)
        return;
    QString text;
    try {
        text = mStore.read(mIdentity.title(), kSection, key, defaultText);
    } catch (const Failure& failure) {
        mStoreUnreadable = true;
        mLoadFailures.push_back({QString(), failure});
        return;
    }
    try {
        field = convert(text);
    } catch (const Failure& failure) {
        // One unreadable value must not cost the other nine settings or the saving at exit.
        mLoadFailures.push_back({key, failure});
    }
}

void CSettings::refuseUnreadStore() const
{
    // The defaults in memory must not take the place of settings that are there but could not
    // be read.
    if (mStoreUnreadable)
        throw Failure(
            failures::kPathFileAccess,
            QStringLiteral("Path/File access error: the settings were not saved, because they could "
                           "not be read when the program started"),
            mLoadFailures.front().failure.source);
}

void CSettings::save()
{
    refuseUnreadStore();
    using namespace TextConversion;
    SettingsValues values{
        {Key::Domain, fromLong(mDomain)},
        {Key::SubDomain, mSubDomain},
        {Key::Username, mUsername},
        {Key::Password, mPasswordPlace == PasswordPlace::File ? mPassword
                        : passwordKnown()                     ? QString()
                                                              : mFilePassword},
        {Key::Server, mServer},
        {Key::Port, fromLong(mPort)},
        {Key::CurrentIP, fromBoolean(mCurrentIP)},
        {Key::OtherIP, mOtherIP},
        {Key::UpdateOnConnection, fromBoolean(mUpdateOnConnection)},
        {Key::MinimizeToSystemTray, fromBoolean(mMinimizeToSystemTray)},
    };
    QStringList removed;
    if (mPasswordPlace == PasswordPlace::Keyring)
        values.append({kPasswordStoreKey, kKeyringValue});
    else
        removed.append(kPasswordStoreKey);
    mStore.write(mIdentity.title(), kSection, values, removed);
}

void CSettings::saveAddressFrom(const AddressFrom& value)
{
    refuseUnreadStore();
    mStore.write(mIdentity.title(), kSection, {{kAddressFromKey, value.text()}}, {});
    mAddressFrom = value;
}

QString CSettings::Password() const
{
    if (!passwordKnown())
        throw Failure(failures::kKeyring,
                      QStringLiteral("The password of ") + keyringAccount() +
                          QStringLiteral(" has not been read from the keyring"),
                      identity::kErrorSource);
    return mPassword;
}

QString CSettings::passwordPlaceText() const
{
    if (mPasswordPlace == PasswordPlace::Keyring)
        return QStringLiteral("in the keyring (service ") + identity::kApplicationId +
               QStringLiteral(", account ") + keyringAccount() + QLatin1Char(')');
    return mPassword.isEmpty() ? QStringLiteral("empty") : QStringLiteral("set, in the settings file");
}

void CSettings::checkedPasswordPlace(std::function<void(const QString&)> done) const
{
    if (mPasswordPlace == PasswordPlace::File)
        return done(passwordPlaceText());
    if (namesNoAccount())
        return done(QStringLiteral("in the keyring, but ") + kNoAccount +
                    QStringLiteral(", so it has no account there"));
    QString putBack;
    if (!mFilePassword.isEmpty())
        putBack =
            QStringLiteral("; the settings file holds one too, put there by hand, which ") +
            identity::kProgram +
            QStringLiteral(" --password-store keyring moves into the keyring unless that holds another");
    mSecrets.look(keyringAccount(), [done = std::move(done), text = passwordPlaceText(),
                                     account = keyringAccount(), putBack](const SecretLook& look) {
        QString said = text;
        switch (look.state) {
        case SecretLook::State::Held:
            break;
        case SecretLook::State::Missing:
            said = QStringLiteral("missing: the settings say the keyring keeps it, but it holds none for ") +
                   account + QStringLiteral(" (service ") + identity::kApplicationId + QLatin1Char(')') +
                   otherAccountsNote(look.others) +
                   (look.why.isEmpty() ? QString() : QStringLiteral("; ") + look.why);
            break;
        case SecretLook::State::Unreachable:
            said += QStringLiteral(", which cannot be asked: ") + look.why;
            break;
        case SecretLook::State::Locked:
        case SecretLook::State::Unknown:
            said += QStringLiteral("; ") + look.why;
            break;
        }
        done(said + putBack);
    });
}

void CSettings::readPassword(ISecretStore& secrets, const QString& account, ISecretStore::ReadDone done)
{
    secrets.read(account, [&secrets, account, done = std::move(done)](const QString& password,
                                                                      const std::optional<Failure>& failure) {
        if (!failure || failure->number != failures::kKeyringNoEntry)
            return done(password, failure);
        secrets.look(account, [done, failure](const SecretLook& look) {
            const QString note = otherAccountsNote(look.others);
            done(QString(), Failure(failure->number, failure->description + note, failure->source));
        });
    });
}

QString CSettings::otherAccountsNote(const QStringList& accounts)
{
    if (accounts.isEmpty())
        return QString();
    return QStringLiteral("; the keyring holds one for ") + accounts.join(QStringLiteral(" and ")) +
           QStringLiteral(", the account of a user name and host since changed: set them back, or put the "
                          "password in the settings file (Password=) and run ") +
           identity::kProgram + QStringLiteral(" --password-store keyring");
}

void SettingsReference::release()
{
    const std::unique_ptr<CSettings> object = std::move(mObject);
    ++mGeneration;
    if (object)
        object->save();
}

void SettingsReference::replace(std::unique_ptr<CSettings> object)
{
    mObject = std::move(object);
    ++mGeneration;
}

void SettingsReference::fetchPassword(Done done)
{
    const CSettings& settings = **this;
    if (settings.passwordKnown())
        return done(std::nullopt);
    if (settings.namesNoAccount())
        return done(
            Failure(failures::kKeyring,
                    QStringLiteral("Cannot read the password from the keyring: ") + CSettings::kNoAccount,
                    identity::kErrorSource));
    const QString account = settings.keyringAccount();
    CSettings::readPassword(settings.mSecrets, account, known(account, std::move(done)));
}

void SettingsReference::storePassword(const QString& password, const QString& account, Done done)
{
    const CSettings& settings = **this;
    if (settings.mPasswordPlace == PasswordPlace::File)
        return done(std::nullopt);
    settings.mSecrets.write(account, password,
                            [password, stored = known(account, std::move(done))](
                                const std::optional<Failure>& failure) { stored(password, failure); });
}

ISecretStore::ReadDone SettingsReference::known(const QString& account, Done done)
{
    return [this, generation = mGeneration, account,
            done = std::move(done)](const QString& password, const std::optional<Failure>& failure) {
        if (generation != mGeneration)
            return;
        if (!failure) {
            mObject->mPassword = password;
            mObject->mKeyringAccount = account;
        }
        done(failure);
    };
}

CSettings* SettingsReference::operator->() const
{
    if (!mObject)
        throw failures::objectNotSet();
    return mObject.get();
}
