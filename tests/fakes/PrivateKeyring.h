#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// A Secret Service of the test's own: gnome-keyring-daemon, unlocked with a throwaway password,
// on a private session bus that the test starts and that activates no service, with a home of
// its own, so that nothing reaches a real keyring. The test's own process and every program it
// starts afterwards use that bus.
class PrivateKeyring
{
public:
    static constexpr int kWaitMs = 30000;

    PrivateKeyring() = default;
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;
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
            return QStringLiteral("no bus configuration can be written");
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=" +
                     QFile::encodeName(mHome.path()) +
                     "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        mBus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mBus.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
        if (!mBus.waitForReadyRead(kWaitMs))
            return QStringLiteral("the private bus did not start");
        address = QString::fromLatin1(mBus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1());
        return resume();
    }

    // Starts the keyring (again) on the bus; empty once it answers there, else why not.
    QString resume()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), mHome.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), mHome.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mHome.path());
        mKeyring.setProcessEnvironment(env);
        mKeyring.setStandardOutputFile(QProcess::nullDevice());
        mKeyring.start(QStringLiteral("gnome-keyring-daemon"),
                       {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                        QStringLiteral("--components=secrets")});
        if (!mKeyring.waitForStarted())
            return QStringLiteral("gnome-keyring-daemon did not start");
        mKeyring.write("throwaway");
        mKeyring.closeWriteChannel();
        const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("keyring-probe"));
        const QDeadlineTimer deadline(kWaitMs);
        while (!bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value()) {
            if (deadline.hasExpired() || mKeyring.state() == QProcess::NotRunning)
                return QStringLiteral("the keyring did not come up on the private bus");
            QTest::qWait(20);
        }
        return QString();
    }

    // Ends the keyring; the bus stays.
    void stop()
    {
        if (mKeyring.state() == QProcess::NotRunning)
            return;
        mKeyring.terminate();
        mKeyring.waitForFinished();
    }

    QString address;

private:
    QTemporaryDir mHome;
    QProcess mBus;
    QProcess mKeyring;
};
