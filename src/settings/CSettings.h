#pragma once

#include "address/AddressFrom.h"
#include "app/Provider.h"
#include "platform/ISecretStore.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ISettingsStore;
class IWindowing;

// Where the password is kept: in the settings file with the other nine, or in the desktop's
// keyring, with the file's Password left empty and one more key beside the ten saying so.
enum class PasswordPlace { File, Keyring };

// The ten user settings. Creating the object loads them from the per-user store; save()
// writes all ten back (the program-wide reference does that when it lets the object go).
class CSettings
{
public:
    // The address posted instead of the connection's when none has been stored.
    static inline const QString kDefaultOtherIP = QStringLiteral("127.0.0.1");
    // The section of the settings store that holds them.
    static inline const QString kSection = QStringLiteral("Settings");
    // The keys of the ten in the settings store.
    struct Key
    {
        static inline const QString Domain = QStringLiteral("Domain");
        static inline const QString SubDomain = QStringLiteral("SubDomain");
        static inline const QString Username = QStringLiteral("Username");
        static inline const QString Password = QStringLiteral("Password");
        static inline const QString Server = QStringLiteral("Server");
        static inline const QString Port = QStringLiteral("Port");
        static inline const QString CurrentIP = QStringLiteral("CurrentIP");
        static inline const QString OtherIP = QStringLiteral("OtherIP");
        static inline const QString UpdateOnConnection = QStringLiteral("UpdateOnConnection");
        static inline const QString MinimizeToSystemTray = QStringLiteral("MinimizeToSystemTray");
    };
    // The key beside the ten, present only while the password is in the keyring.
    static inline const QString kPasswordStoreKey = QStringLiteral("PasswordStore");
    static inline const QString kKeyringValue = QStringLiteral("keyring");
    // Never written (the key's absence says it), but read as what the command line calls it.
    static inline const QString kFileValue = QStringLiteral("file");
    // The key beside the ten that says where "Current IP" comes from; absent, it is auto.
    static inline const QString kAddressFromKey = QStringLiteral("AddressFrom");

    CSettings(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity);

    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    void setPort(qint32 value) { mPort = value; }
    qint32 Port() const { return mPort; }
    void setServer(const QString& value) { mServer = value; }
    QString Server() const { return mServer; }
    void setPassword(const QString& value) { mPassword = value; }
    // Kept in the keyring, the password is known only once the program-wide reference has
    // fetched it for the current user name and host; before that this fails, so that an empty
    // password is never taken for it.
    QString Password() const;
    void setUsername(const QString& value) { mUsername = value; }
    QString Username() const { return mUsername; }
    void setSubDomain(const QString& value) { mSubDomain = value; }
    QString SubDomain() const { return mSubDomain; }
    void setDomain(qint32 value) { mDomain = value; }
    qint32 Domain() const { return mDomain; }
    void setCurrentIP(bool value) { mCurrentIP = value; }
    bool CurrentIP() const { return mCurrentIP; }
    void setOtherIP(const QString& value) { mOtherIP = value; }
    QString OtherIP() const { return mOtherIP; }
    void setUpdateOnConnection(bool value) { mUpdateOnConnection = value; }
    bool UpdateOnConnection() const { return mUpdateOnConnection; }
    void setMinimizeToSystemTray(bool value) { mMinimizeToSystemTray = value; }
    bool MinimizeToSystemTray() const { return mMinimizeToSystemTray; }
    // Kept only by saveAddressFrom: save() leaves the key as the file has it.
    AddressFrom addressFrom() const { return mAddressFrom; }

    // A stored value that could not be converted while loading: that setting kept its default
    // and loading went on with the next key. A store that could not be read at all is one
    // failure with no key: every setting kept its default, and save() refuses to write over
    // what the store holds.
    struct LoadFailure
    {
        QString key;
        Failure failure;
    };
    const std::vector<LoadFailure>& loadFailures() const { return mLoadFailures; }

    // The host's whole name: the sub-domain under the provider's domain.
    static QString hostName(const QString& subDomain) { return subDomain + provider::kDomainSuffix; }
    QString hostName() const { return hostName(mSubDomain); }

    PasswordPlace passwordPlace() const { return mPasswordPlace; }
    // Whether the password is known: kept in the file, or read from the keyring (or written
    // there) for the current user name and host.
    bool passwordKnown() const
    {
        return mPasswordPlace == PasswordPlace::File || mKeyringAccount == keyringAccount();
    }
    // The stored place could not be read: passwordPlace() is where the password was found.
    bool passwordPlaceUnreadable() const { return mPasswordPlaceUnreadable; }
    // The file's Password as loaded: beside PasswordStore=keyring one put there by hand (an
    // older copy of the program, an edit), which is not the password in use.
    QString filePassword() const { return mFilePassword; }
    // Without a user name and a host the keyring has no account for the password.
    bool namesNoAccount() const { return mUsername.isEmpty() && mSubDomain.isEmpty(); }
    // The keyring's account for the password of this user name and host.
    static QString keyringAccount(const QString& username, const QString& subDomain)
    {
        return username + QLatin1Char('@') + hostName(subDomain);
    }
    QString keyringAccount() const { return keyringAccount(mUsername, mSubDomain); }
    // Where the password is, for the user to read: never the password itself.
    QString passwordPlaceText() const;
    // The same, as the keyring says now (asked without unlocking anything): whether it holds
    // the password, is locked, or cannot be asked, and why.
    void checkedPasswordPlace(std::function<void(const QString& text)> done) const;

    // The keyring's password for the account; when it holds none there, the failure names the
    // accounts it does hold one for (a user name or host changed since).
    static void readPassword(ISecretStore& secrets, const QString& account, ISecretStore::ReadDone done);
    // "; it holds one for ..." and what to do, or nothing when there are none.
    static QString otherAccountsNote(const QStringList& accounts);
    static inline const QString kNoAccount = QStringLiteral("the settings name no user and no host");

    // Writes all ten keys in one step: the store then holds all of them, or, when it refuses,
    // none of the change. With the keyring the file's Password is written empty, and the key
    // beside the ten says where the password is; with the file that key goes.
    void save();
    // Writes the AddressFrom key alone.
    void saveAddressFrom(const AddressFrom& value);

private:
    friend class SettingsReference;

    void refuseUnreadStore() const;
    template <typename T, typename Convert> void load(T& field, const QString& key, Convert convert);

    ISettingsStore& mStore;
    ISecretStore& mSecrets;
    const IWindowing& mIdentity;
    std::vector<LoadFailure> mLoadFailures;
    bool mStoreUnreadable = false;
    AddressFrom mAddressFrom;

    qint32 mDomain = 0;
    QString mSubDomain;
    QString mUsername;
    QString mPassword;
    QString mServer = provider::kDefaultServer;
    qint32 mPort = provider::kDefaultPort;
    bool mCurrentIP = true;
    QString mOtherIP = kDefaultOtherIP;
    bool mUpdateOnConnection = false;
    bool mMinimizeToSystemTray = false;

    PasswordPlace mPasswordPlace = PasswordPlace::File;
    bool mPasswordPlaceUnreadable = false;
    QString mFilePassword;
    // The account whose password mPassword holds, as fetched from the keyring or written there.
    QString mKeyringAccount;
};

// The program-wide reference to the one settings object. Using it while no object exists
// fails as a use of a missing object.
class SettingsReference
{
public:
    void create(ISettingsStore& store, ISecretStore& secrets, const IWindowing& identity)
    {
        replace(std::make_unique<CSettings>(store, secrets, identity));
    }
    // Saves every setting, then lets the object go (also when saving fails).
    void release();
    // Lets the object go without saving.
    void discard() { replace({}); }

    using Done = ISecretStore::Done;
    // Makes the settings hold the password: kept in the keyring, it is read from there, once
    // for each user name and host. done learns whether the keyring gave it; it is not called
    // when the settings went away meanwhile (the program is ending).
    void fetchPassword(Done done);
    // Stores the password for the account (a user name and host) before the setters take them:
    // with the keyring it is written there first. done as for fetchPassword().
    void storePassword(const QString& password, const QString& account, Done done);

    CSettings* operator->() const;
    CSettings& operator*() const { return *operator->(); }
    explicit operator bool() const { return mObject != nullptr; }

private:
    void replace(std::unique_ptr<CSettings> object);
    // The keyring's answer: the password known for the account, unless the object it was asked
    // for went away meanwhile (then done is not called).
    ISecretStore::ReadDone known(const QString& account, Done done);

    std::unique_ptr<CSettings> mObject;
    // Counts the objects taken up and let go, so that an answer of the keyring can tell the
    // object is not the one it was asked for.
    quint64 mGeneration = 0;
};

extern SettingsReference gSettings;
