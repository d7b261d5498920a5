#include "platform/qt/QtSecretStore.h"

#include "platform/Failure.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <dlfcn.h>
#include <utility>

namespace {

const QString kSource = QStringLiteral("Keyring");
const QString kEnded = QStringLiteral("the program was ended while it waited");
const QString kSecrets = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

using Attributes = QMap<QString, QString>;
using State = SecretLook::State;

enum class End { None, Finished, Deadline };

// Runs an event loop of its own until the sender's signal or the deadline; None when the loop was
// ended from outside (the program is ending).
template <typename Sender, typename Signal>
End await(Sender* sender, Signal signal, const QDeadlineTimer& deadline,
          const std::function<void()>& start = {})
{
    End end = End::None;
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        end = End::Finished;
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        end = End::Deadline;
        loop.quit();
    });
    timer.start(std::max<qint64>(0, deadline.remainingTime()));
    if (start)
        start();
    // A job that fails at once has ended before the loop could start.
    if (end == End::None)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return end;
}

// The secret library that the keychain loads keeps one session with the keyring's service for
// the whole process. When the service has started again (an update, a crash, a new login)
// every later call fails on that session, so a call that failed lets it go: the next one opens
// a new one. Nothing is done when the library is not loaded; true when it was let go.
bool forgetKeyringSession()
{
    void* library = ::dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return false;
    void* symbol = ::dlsym(library, "secret_service_disconnect");
    if (symbol)
        reinterpret_cast<void (*)()>(symbol)();
    ::dlclose(library);
    return symbol != nullptr;
}

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
    bool kde = false;
    if (desktop == "KDE" || session == "kde" || session == "kde4")
        kde = true;
    else if (desktop.isEmpty() && session != "gnome" && !session.contains("xfce") && session != "xubuntu")
        kde = qEnvironmentVariableIsEmpty("GNOME_DESKTOP_SESSION_ID") &&
              !qEnvironmentVariableIsEmpty("KDE_FULL_SESSION");
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
           QStringLiteral("): run this inside the desktop session, or keep the password in the settings file "
                          "(corvane-dyndns --password-store file, run once inside the session)");
}

QString noService()
{
    return QStringLiteral("no keyring service (Secret Service) runs on the session bus: start one (GNOME "
                          "Keyring, KeePassXC), or keep the password in the settings file (corvane-dyndns "
                          "--password-store file)");
}

QString noDefaultCollection()
{
    return QStringLiteral(
        "it has no login collection (no default keyring) to keep passwords in: make one (in "
        "Seahorse, Passwords and Keys, a new password keyring set as default), or keep the "
        "password in the settings file (corvane-dyndns --password-store file)");
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

QtSecretStore::QtSecretStore(QString service, std::chrono::milliseconds deadline)
    : mService(std::move(service)), mDeadline(deadline)
{
    qDBusRegisterMetaType<Attributes>();
}

QString QtSecretStore::read(const QString& account)
{
    return againOnANewSession([&](const QDeadlineTimer& deadline) {
        auto* job = new QKeychain::ReadPasswordJob(mService, this);
        QString secret;
        run(job, account, QStringLiteral("read the password of ") + account + QStringLiteral(" from"),
            deadline, [&] { secret = job->textData(); });
        return secret;
    });
}

void QtSecretStore::write(const QString& account, const QString& secret)
{
    againOnANewSession([&](const QDeadlineTimer& deadline) {
        auto* job = new QKeychain::WritePasswordJob(mService, this);
        job->setTextData(secret);
        run(job, account, QStringLiteral("store the password of ") + account + QStringLiteral(" in"),
            deadline);
    });
}

void QtSecretStore::remove(const QString& account)
{
    againOnANewSession([&](const QDeadlineTimer& deadline) {
        auto* job = new QKeychain::DeletePasswordJob(mService, this);
        try {
            run(job, account, QStringLiteral("remove the password of ") + account + QStringLiteral(" from"),
                deadline);
        } catch (const Failure& failure) {
            // Nothing to take away is what was asked for.
            if (failure.number != failures::kKeyringNoEntry)
                throw;
        }
    });
}

SecretLook QtSecretStore::look(const QString& account)
{
    return lookWithin(account, QDeadlineTimer(mDeadline));
}

template <typename Call>
auto QtSecretStore::againOnANewSession(const Call& call) -> decltype(call(QDeadlineTimer()))
{
    const QDeadlineTimer deadline(mDeadline);
    mSessionDropped = false;
    try {
        return call(deadline);
    } catch (const Failure&) {
        // A keyring service that has started again answers on a new session.
        if (!std::exchange(mSessionDropped, false) || deadline.hasExpired())
            throw;
        return call(deadline);
    }
}

void QtSecretStore::run(QKeychain::Job* job, const QString& account, const QString& doing,
                        const QDeadlineTimer& deadline, const std::function<void()>& succeeded)
{
    job->setAutoDelete(false);
    job->setKey(account);
    const End end = await(job, &QKeychain::Job::finished, deadline, [job] { job->start(); });
    const QString failed = QStringLiteral("Cannot ") + doing + QStringLiteral(" the keyring: ");
    if (end != End::Finished) {
        // It lets go of itself whenever it ends.
        job->setAutoDelete(true);
        throw Failure(failures::kKeyring, failed + (end == End::Deadline ? silence() : kEnded), kSource);
    }
    job->deleteLater();
    const QKeychain::Error error = job->error();
    if (error == QKeychain::NoError) {
        if (succeeded)
            succeeded();
        return;
    }
    // The look below runs an event loop, which lets the job go.
    QString why = job->errorString();
    if (error == QKeychain::AccessDeniedByUser)
        throw Failure(failures::kKeyring,
                      failed + QStringLiteral("it stays locked: unlocking it was refused"), kSource);
    const bool dropped = error != QKeychain::EntryNotFound && forgetKeyringSession();
    // The secret library gives up on a silent service when this deadline ends, too.
    const SecretLook found = deadline.hasExpired() ? SecretLook{State::Unreachable, false, silence(), {}}
                                                   : lookWithin(account, deadline);
    mSessionDropped = dropped && found.state != State::Unreachable;
    long number = failures::kKeyring;
    if (found.state == State::Locked)
        why =
            QStringLiteral("it is locked, and was not unlocked: unlock it (in Seahorse, say) and try again");
    else if (found.state == State::Unreachable)
        why = found.why;
    else if (error == QKeychain::EntryNotFound) {
        number = failures::kKeyringNoEntry;
        why = QStringLiteral("it holds none for ") + account;
    } else if (found.state == State::Missing && !found.why.isEmpty())
        why = found.why; // no collection to store it in
    throw Failure(number, failed + why, kSource);
}

QString QtSecretStore::silence() const
{
    return QStringLiteral("the keyring service did not answer within ") +
           QString::number(std::chrono::duration<double>(mDeadline).count()) +
           QStringLiteral(" seconds (it may hang: logging out and in again starts it anew)");
}

QDBusMessage QtSecretStore::ask(const QDBusMessage& call, const QDeadlineTimer& deadline)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusPendingCallWatcher pending(bus.asyncCall(call, int(std::max<qint64>(1, deadline.remainingTime()))));
    const End end = await(&pending, &QDBusPendingCallWatcher::finished, deadline);
    if (end != End::Finished)
        return call.createErrorReply(QDBusError::NoReply, end == End::Deadline ? silence() : kEnded);
    return pending.reply();
}

SecretLook QtSecretStore::lookWithin(const QString& account, const QDeadlineTimer& deadline)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {State::Unreachable, false, noBus(bus.lastError().message()), {}};
    if (const QString wallet = kdeWallet(bus); !wallet.isEmpty()) {
        if (!onBus(bus, wallet))
            return {State::Unreachable,
                    false,
                    QStringLiteral("KDE Wallet's service (") + wallet +
                        QStringLiteral(") is not on the session bus"),
                    {}};
        return {State::Unknown,
                false,
                QStringLiteral(
                    "KDE Wallet keeps it, and is not opened just to look (it may ask for its password)"),
                {}};
    }
    if (!onBus(bus, kSecrets))
        return {State::Unreachable, false, noService(), {}};

    // A locked keyring hides its secrets, not which entries it holds: a search answers with
    // both and asks the user nothing.
    const auto search = [&](const Attributes& attributes) {
        return ask(serviceCall(kServicePath, kServiceInterface, QStringLiteral("SearchItems"),
                               {QVariant::fromValue(attributes)}),
                   deadline);
    };
    const QDBusMessage items =
        search({{QStringLiteral("user"), account}, {QStringLiteral("server"), mService}});
    if (items.type() == QDBusMessage::ErrorMessage) {
        if (items.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
            items.errorName() == QDBusError::errorString(QDBusError::Timeout))
            return {State::Unreachable, false, items.errorMessage() == kEnded ? kEnded : silence(), {}};
        if (items.errorName() == QDBusError::errorString(QDBusError::ServiceUnknown))
            return {State::Unreachable, false, noService(), {}};
        return {State::Unreachable, false, items.errorMessage(), {}};
    }
    if (!paths(items.arguments().value(0)).isEmpty())
        return {State::Held, false, {}, {}};
    if (!paths(items.arguments().value(1)).isEmpty())
        return {State::Locked,
                true,
                QStringLiteral("it is locked, and asks to be unlocked when the password is needed"),
                {}};

    // None for the account: one locked collection may hide it, and with no default collection
    // none can be stored either.
    const QStringList collections = paths(
        value(ask(propertyCall(kServicePath, kServiceInterface, QStringLiteral("Collections")), deadline)));
    SecretLook found{State::Missing, false, {}, {}};
    for (const QString& collection : collections) {
        const QDBusMessage locked =
            ask(propertyCall(collection, QStringLiteral("org.freedesktop.Secret.Collection"),
                             QStringLiteral("Locked")),
                deadline);
        if (locked.type() == QDBusMessage::ReplyMessage && value(locked).toBool())
            found = {State::Locked,
                     false,
                     QStringLiteral("it is locked, so whether it holds one shows only once it is unlocked"),
                     {}};
    }
    const QDBusMessage alias = ask(serviceCall(kServicePath, kServiceInterface, QStringLiteral("ReadAlias"),
                                               {QStringLiteral("default")}),
                                   deadline);
    if (alias.type() == QDBusMessage::ReplyMessage &&
        !collections.contains(qdbus_cast<QDBusObjectPath>(alias.arguments().value(0)).path()))
        found.why = noDefaultCollection();
    if (found.state != State::Missing)
        return found;
    const QDBusMessage ours = search({{QStringLiteral("server"), mService}});
    for (const QString& item : paths(ours.arguments().value(0))) {
        const QDBusMessage attributes = ask(
            propertyCall(item, QStringLiteral("org.freedesktop.Secret.Item"), QStringLiteral("Attributes")),
            deadline);
        const QString user = qdbus_cast<Attributes>(value(attributes)).value(QStringLiteral("user"));
        if (!user.isEmpty() && !found.others.contains(user))
            found.others.append(user);
    }
    return found;
}
