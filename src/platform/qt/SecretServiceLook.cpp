#include "platform/qt/SecretServiceLook.h"

#include "app/Identity.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

using Attributes = QMap<QString, QString>;
using State = SecretLook::State;

bool onBus(const QDBusConnection& bus, const QString& name)
{
    return bus.interface()->isServiceRegistered(name).value() ||
           bus.interface()->activatableServiceNames().value().contains(name);
}

// As QtKeychain chooses its keyring: KDE Wallet in a KDE session (KDE 4, or Plasma 5 with its
// wallet service on the bus), else the Secret Service. The wallet's service name, or none.
QString kdeWallet(const QDBusConnection& bus)
{
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    const QByteArray session = qgetenv("DESKTOP_SESSION");
    const bool kde = desktop == "KDE" || session == "kde" || session == "kde4" ||
                     (desktop.isEmpty() && session != "gnome" && !session.contains("xfce") &&
                      session != "xubuntu" && qEnvironmentVariableIsEmpty("GNOME_DESKTOP_SESSION_ID") &&
                      !qEnvironmentVariableIsEmpty("KDE_FULL_SESSION"));
    const QByteArray version = qgetenv("KDE_SESSION_VERSION");
    if (kde && version == "4")
        return QStringLiteral("org.kde.kwalletd");
    if (kde && version == "5" && onBus(bus, QStringLiteral("org.kde.kwalletd5")))
        return QStringLiteral("org.kde.kwalletd5");
    return QString();
}

QString noBus(const QString& detail)
{
    return QStringLiteral("there is no session bus to reach it on (") + detail +
           QStringLiteral(
               "): run this inside the desktop session, or keep the password in the settings file (") +
           identity::kProgram + QStringLiteral(" --password-store file, run once inside the session)");
}

QString noService()
{
    return QStringLiteral("no keyring service (Secret Service) runs on the session bus: start one (GNOME "
                          "Keyring, KeePassXC), or keep the password in the settings file (") +
           identity::kProgram + QStringLiteral(" --password-store file)");
}

QDBusMessage serviceCall(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kSecrets, path, interface, method);
    call.setArguments(arguments);
    return call;
}

QDBusMessage propertyCall(const QString& path, const QString& interface, const QString& name)
{
    return serviceCall(path, kProperties, QStringLiteral("Get"), {interface, name});
}

// A locked keyring hides its secrets, not which entries it holds: a search answers with both
// and asks the user nothing.
QDBusMessage searchCall(const Attributes& attributes)
{
    return serviceCall(kServicePath, kServiceInterface, QStringLiteral("SearchItems"),
                       {QVariant::fromValue(attributes)});
}

// The value a property's Get answered with.
QVariant value(const QDBusMessage& reply)
{
    return qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

QStringList paths(const QVariant& list)
{
    QStringList found;
    for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(list))
        found.append(path.path());
    return found;
}

} // namespace

void SecretServiceLook::start(QObject* parent, const QString& service, const QString& account,
                              const QDeadlineTimer& deadline, const QString& silence,
                              ISecretStore::LookDone done)
{
    (new SecretServiceLook(parent, service, account, deadline, silence, std::move(done)))->begin();
}

SecretServiceLook::SecretServiceLook(QObject* parent, QString service, QString account,
                                     const QDeadlineTimer& deadline, QString silence,
                                     ISecretStore::LookDone done)
    : QObject(parent), mService(std::move(service)), mAccount(std::move(account)), mDeadline(deadline),
      mSilence(std::move(silence)), mDone(std::move(done))
{
    qDBusRegisterMetaType<Attributes>();
}

void SecretServiceLook::begin()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return tell({State::Unreachable, false, noBus(bus.lastError().message()), {}});
    if (const QString wallet = kdeWallet(bus); !wallet.isEmpty()) {
        if (!onBus(bus, wallet))
            return tell({State::Unreachable,
                         false,
                         QStringLiteral("KDE Wallet's service (") + wallet +
                             QStringLiteral(") is not on the session bus"),
                         {}});
        return tell({State::Unknown,
                     false,
                     QStringLiteral("KDE Wallet keeps it, and is not opened just to look (it may ask for its "
                                    "password)"),
                     {}});
    }
    if (!onBus(bus, kSecrets))
        return tell({State::Unreachable, false, noService(), {}});
    ask(searchCall({{QStringLiteral("user"), mAccount}, {QStringLiteral("server"), mService}}),
        std::bind_front(&SecretServiceLook::searched, this));
}

void SecretServiceLook::searched(const QDBusMessage& reply)
{
    if (const QDBusError error(reply); error.isValid()) {
        if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
            return tell({State::Unreachable, false, mSilence, {}});
        if (error.type() == QDBusError::ServiceUnknown)
            return tell({State::Unreachable, false, noService(), {}});
        return tell({State::Unreachable, false, error.message(), {}});
    }
    if (!paths(reply.arguments().value(0)).isEmpty())
        return tell({State::Held, false, {}, {}});
    if (!paths(reply.arguments().value(1)).isEmpty())
        return tell({State::Locked,
                     true,
                     QStringLiteral("it is locked, and asks to be unlocked when the password is needed"),
                     {}});
    // None for the account: one locked collection may hide it, and with no default collection
    // none can be stored either.
    ask(propertyCall(kServicePath, kServiceInterface, QStringLiteral("Collections")),
        std::bind_front(&SecretServiceLook::collectionsListed, this));
}

void SecretServiceLook::collectionsListed(const QDBusMessage& reply)
{
    mCollections = paths(value(reply));
    mWaiting = int(mCollections.size());
    const auto next = [this] {
        ask(serviceCall(kServicePath, kServiceInterface, QStringLiteral("ReadAlias"),
                        {QStringLiteral("default")}),
            std::bind_front(&SecretServiceLook::aliasRead, this));
    };
    if (mWaiting == 0)
        return next();
    for (const QString& collection : std::as_const(mCollections)) {
        ask(propertyCall(collection, QStringLiteral("org.freedesktop.Secret.Collection"),
                         QStringLiteral("Locked")),
            [this, next](const QDBusMessage& locked) {
                if (locked.type() == QDBusMessage::ReplyMessage && value(locked).toBool())
                    mFound = {State::Locked,
                              false,
                              QStringLiteral(
                                  "it is locked, so whether it holds one shows only once it is unlocked"),
                              {}};
                if (--mWaiting == 0)
                    next();
            });
    }
}

void SecretServiceLook::aliasRead(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ReplyMessage &&
        !mCollections.contains(qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path()))
        mFound.why =
            QStringLiteral("it has no login collection (no default keyring) to keep passwords in: make "
                           "one (in Seahorse, Passwords and Keys, a new password keyring set as "
                           "default), or keep the password in the settings file (") +
            identity::kProgram + QStringLiteral(" --password-store file)");
    if (mFound.state != State::Missing)
        return tell(mFound);
    ask(searchCall({{QStringLiteral("server"), mService}}),
        std::bind_front(&SecretServiceLook::othersFound, this));
}

void SecretServiceLook::othersFound(const QDBusMessage& reply)
{
    const QStringList items = paths(reply.arguments().value(0));
    mWaiting = int(items.size());
    if (mWaiting == 0)
        return tell(mFound);
    for (const QString& item : items) {
        ask(propertyCall(item, QStringLiteral("org.freedesktop.Secret.Item"), QStringLiteral("Attributes")),
            [this](const QDBusMessage& attributes) {
                const QString user = qdbus_cast<Attributes>(value(attributes)).value(QStringLiteral("user"));
                if (!user.isEmpty() && !mFound.others.contains(user))
                    mFound.others.append(user);
                if (--mWaiting == 0)
                    tell(mFound);
            });
    }
}

void SecretServiceLook::ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> answered)
{
    // The bus ends the call with a NoReply error at the deadline.
    const int timeout = int(std::max<qint64>(1, mDeadline.remainingTime()));
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, timeout), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [answered = std::move(answered)](QDBusPendingCallWatcher* watcher) {
                watcher->deleteLater();
                answered(watcher->reply());
            });
}

void SecretServiceLook::tell(const SecretLook& look)
{
    // Always from the event loop, never from inside the call that asked.
    QMetaObject::invokeMethod(
        this,
        [this, look] {
            mDone(look);
            deleteLater();
        },
        Qt::QueuedConnection);
}
