#pragma once

#include "platform/Failure.h"

#include <QString>

#include <memory>
#include <vector>

class ISettingsStore;
class IWindowing;

// The ten user settings. Creating the object loads them from the per-user store; save()
// writes all ten back (the program-wide reference does that when it lets the object go).
class CSettings
{
public:
    // The address posted instead of the connection's when none has been stored.
    static inline const QString kDefaultOtherIP = QStringLiteral("127.0.0.1");

    CSettings(ISettingsStore& store, const IWindowing& identity);

    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    void setPort(qint32 value) { mPort = value; }
    qint32 Port() const { return mPort; }
    void setServer(const QString& value) { mServer = value; }
    QString Server() const { return mServer; }
    void setPassword(const QString& value) { mPassword = value; }
    QString Password() const { return mPassword; }
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

    // Writes all ten keys in one step: the store then holds all of them, or, when it refuses,
    // none of the change.
    void save();

private:
    QString read(const QString& key, const QString& defaultText);
    template <typename T, typename Convert> void load(T& field, const QString& key, Convert convert);

    ISettingsStore& mStore;
    const IWindowing& mIdentity;
    std::vector<LoadFailure> mLoadFailures;
    bool mStoreUnreadable = false;

    qint32 mDomain = 0;
    QString mSubDomain;
    QString mUsername;
    QString mPassword;
    QString mServer;
    qint32 mPort = 0;
    bool mCurrentIP = true;
    QString mOtherIP;
    bool mUpdateOnConnection = false;
    bool mMinimizeToSystemTray = false;
};

// The program-wide reference to the one settings object. Using it while no object exists
// fails as a use of a missing object.
class SettingsReference
{
public:
    void create(ISettingsStore& store, const IWindowing& identity);
    // Saves every setting, then lets the object go (also when saving fails).
    void release();
    // Lets the object go without saving.
    void discard() { mObject.reset(); }
    // Takes a loaded object in place of the one there, which goes without saving.
    void adopt(std::unique_ptr<CSettings> object) { mObject = std::move(object); }

    CSettings* operator->() const;
    CSettings& operator*() const { return *operator->(); }
    explicit operator bool() const { return mObject != nullptr; }

private:
    std::unique_ptr<CSettings> mObject;
};

extern SettingsReference gSettings;
