#include "settings/CSettings.h"

#include "app/Provider.h"
#include "platform/ISettingsStore.h"
#include "platform/IWindowing.h"
#include "settings/TextConversion.h"

#include <type_traits>

SettingsReference gSettings;

namespace {
const QString kSection = QStringLiteral("Settings");

QString asText(const QString& text)
{
    return text;
}
} // namespace

CSettings::CSettings(ISettingsStore& store, const IWindowing& identity) : mStore(store), mIdentity(identity)
{
    using namespace TextConversion;
    mDomain = 0;
    load(mDomain, QStringLiteral("Domain"), toLong);
    load(mSubDomain, QStringLiteral("SubDomain"), asText);
    load(mUsername, QStringLiteral("Username"), asText);
    load(mPassword, QStringLiteral("Password"), asText);
    mServer = provider::kDefaultServer;
    load(mServer, QStringLiteral("Server"), asText);
    mPort = provider::kDefaultPort;
    load(mPort, QStringLiteral("Port"), toLong);
    mCurrentIP = true;
    load(mCurrentIP, QStringLiteral("CurrentIP"), toBoolean);
    mOtherIP = CSettings::kDefaultOtherIP;
    load(mOtherIP, QStringLiteral("OtherIP"), asText);
    mUpdateOnConnection = false;
    load(mUpdateOnConnection, QStringLiteral("UpdateOnConnection"), toBoolean);
    mMinimizeToSystemTray = false;
    load(mMinimizeToSystemTray, QStringLiteral("MinimizeToSystemTray"), toBoolean);
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
    else
        defaultText = field;

    if (mStoreUnreadable)
        return;
    QString text;
    try {
        text = read(key, defaultText);
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

void CSettings::save()
{
    // The defaults in memory must not take the place of settings that are there but could not
    // be read.
    if (mStoreUnreadable)
        throw Failure(
            failures::kPathFileAccess,
            QStringLiteral("Path/File access error: the settings were not saved, because they could "
                           "not be read when the program started"),
            mLoadFailures.front().failure.source);
    using namespace TextConversion;
    const SettingsValues values{
        {QStringLiteral("Domain"), fromLong(mDomain)},
        {QStringLiteral("SubDomain"), mSubDomain},
        {QStringLiteral("Username"), mUsername},
        {QStringLiteral("Password"), mPassword},
        {QStringLiteral("Server"), mServer},
        {QStringLiteral("Port"), fromLong(mPort)},
        {QStringLiteral("CurrentIP"), fromBoolean(mCurrentIP)},
        {QStringLiteral("OtherIP"), mOtherIP},
        {QStringLiteral("UpdateOnConnection"), fromBoolean(mUpdateOnConnection)},
        {QStringLiteral("MinimizeToSystemTray"), fromBoolean(mMinimizeToSystemTray)},
    };
    mStore.write(mIdentity.title(), kSection, values);
}

QString CSettings::read(const QString& key, const QString& defaultText)
{
    return mStore.read(mIdentity.title(), kSection, key, defaultText);
}

void SettingsReference::create(ISettingsStore& store, const IWindowing& identity)
{
    mObject = std::make_unique<CSettings>(store, identity);
}

void SettingsReference::release()
{
    const std::unique_ptr<CSettings> object = std::move(mObject);
    if (object)
        object->save();
}

CSettings* SettingsReference::operator->() const
{
    if (!mObject)
        throw failures::objectNotSet();
    return mObject.get();
}
