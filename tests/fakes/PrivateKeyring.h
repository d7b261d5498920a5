#pragma once

#include "platform/Failure.h"
#include "platform/ISecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// A Secret Service of the test's own: gnome-keyring-daemon, unlocked with a throwaway password,
// on a private session bus that activates no service, with a home of its own, so that nothing
// reaches a real keyring. The test's process and every program it starts use that bus.
class PrivateKeyring
{
public:
    static constexpr int kWaitMs = 30000;

    ~PrivateKeyring()
    {
        stop();
        mBus.kill();
        mBus.waitForFinished();
    }

    // Starts the bus, then the keyring; empty when both run, else why not.
    QString start()
    {
        for (const char* tool : {"dbus-daemon", "gnome-keyring-daemon"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                return QLatin1String(tool) + QStringLiteral(" is not installed");
        }
        QFile config(mHome.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return QStringLiteral("the bus's configuration cannot be written");
        config.write("<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(mHome.path()) +
                     "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        mBus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mBus.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
        if (!mBus.waitForReadyRead(kWaitMs))
            return QStringLiteral("the private bus did not start");
        mAddress = QString::fromLatin1(mBus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", mAddress.toLatin1());
        return resume();
    }

    // Starts the keyring (again); empty once it answers on the bus, else why not.
    QString resume()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QLatin1String(folder), mHome.path());
        mKeyring.setProcessEnvironment(env);
        mKeyring.setStandardOutputFile(QProcess::nullDevice());
        mKeyring.start(QStringLiteral("gnome-keyring-daemon"),
                       {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                        QStringLiteral("--components=secrets")});
        mKeyring.write("throwaway");
        mKeyring.closeWriteChannel();
        const QDBusConnection bus = QDBusConnection::connectToBus(mAddress, QStringLiteral("keyring-probe"));
        const QDeadlineTimer deadline(kWaitMs);
        while (!bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value()) {
            if (deadline.hasExpired() || mKeyring.state() == QProcess::NotRunning)
                return QStringLiteral("the keyring did not come up on the private bus");
            QTest::qWait(20);
        }
        return QString();
    }

    // Stops the keyring where it stands, as a hung service is, and lets it go on.
    void freeze() { ::kill(pid_t(mKeyring.processId()), SIGSTOP); }
    void thaw() { ::kill(pid_t(mKeyring.processId()), SIGCONT); }

    // Ends the keyring; the bus stays.
    void stop()
    {
        thaw();
        mKeyring.terminate();
        mKeyring.waitForFinished();
    }

private:
    QTemporaryDir mHome;
    QProcess mBus;
    QProcess mKeyring;
    QString mAddress;
};

// A keyring's calls waited for on the event loop, for tests that only want the outcome: a call
// that fails throws its Failure.
namespace keyringNow {

template <typename Call> auto answer(const Call& call)
{
    std::optional<std::optional<Failure>> failure;
    QString secret;
    call([&](const QString& got, const std::optional<Failure>& failed) {
        secret = got;
        failure = failed;
    });
    const QDeadlineTimer deadline(PrivateKeyring::kWaitMs * 2);
    while (!failure && !deadline.hasExpired())
        QTest::qWait(5);
    if (!failure)
        throw Failure(failures::kKeyring, QStringLiteral("the test waited in vain"), QStringLiteral("test"));
    if (*failure)
        throw **failure;
    return secret;
}

inline QString read(ISecretStore& store, const QString& account)
{
    return answer([&](const ISecretStore::ReadDone& done) { store.read(account, done); });
}

inline void write(ISecretStore& store, const QString& account, const QString& secret)
{
    answer([&](const ISecretStore::ReadDone& done) {
        store.write(account, secret,
                    [done](const std::optional<Failure>& failure) { done(QString(), failure); });
    });
}

inline void remove(ISecretStore& store, const QString& account)
{
    answer([&](const ISecretStore::ReadDone& done) {
        store.remove(account, [done](const std::optional<Failure>& failure) { done(QString(), failure); });
    });
}

} // namespace keyringNow
