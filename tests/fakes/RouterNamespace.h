#pragma once

#include "NetworkNamespace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <memory>
#include <sys/types.h>

// A home router for tests that ask one: the router daemon (miniupnpd) in a network namespace
// of its own, its outside link to a namespace that plays the provider, and its inside network
// (a bridge) that reaches the test's namespace and a neighbour's. Every address lives in those
// namespaces alone and nothing is routed out of them, so nothing the test sends (NAT-PMP,
// SSDP, subscriptions) reaches a real router.
//
// Built from inside a namespace of the test's own (networkNamespace::startInside with "-n"),
// which becomes the machine behind the router: its eth0 has kMachine, its default route goes
// to kRouter.
class RouterNamespace
{
public:
    static constexpr const char* kRouter = "192.168.77.1";
    static constexpr const char* kMachine = "192.168.77.2";
    static constexpr const char* kNeighbour = "192.168.77.3";
    static constexpr const char* kOutside = "11.22.33.44";
    static constexpr const char* kProvider = "11.22.33.1";
    static constexpr int kStartMs = 10000;

    // The tools the router and its tests need (python3 plays forgers and odd routers): "" when
    // all are there, or what is missing.
    static QString unavailable()
    {
        return networkNamespace::unavailable({QStringLiteral("ip"), QStringLiteral("nsenter"),
                                              QStringLiteral("miniupnpd"), QStringLiteral("python3")},
                                             {QStringLiteral("-n")});
    }

    RouterNamespace() = default;
    RouterNamespace(const RouterNamespace&) = delete;
    RouterNamespace& operator=(const RouterNamespace&) = delete;
    ~RouterNamespace()
    {
        stop();
        for (auto& holder : mHolders) {
            holder->kill();
            holder->waitForFinished();
        }
    }

    // Makes the namespaces and their links: "" when done, or what failed.
    QString build()
    {
        for (const char* side : {"router", "provider", "neighbour"}) {
            auto holder = std::make_unique<QProcess>();
            holder->start(QStringLiteral("unshare"),
                          {QStringLiteral("-n"), QStringLiteral("sleep"), QStringLiteral("3600")});
            if (!holder->waitForStarted())
                return QStringLiteral("cannot start a namespace");
            mSides.insert(QLatin1String(side), QString::number(holder->processId()));
            mHolders.push_back(std::move(holder));
        }
        const QString router = mSides.value(QStringLiteral("router"));
        const QString provider = mSides.value(QStringLiteral("provider"));
        const QString neighbour = mSides.value(QStringLiteral("neighbour"));
        // unshare has made its namespace once lo can be brought up in it.
        for (const QString& side : {router, provider, neighbour}) {
            QElapsedTimer waited;
            waited.start();
            while (!ip(side, {"link", "set", "lo", "up"})) {
                if (waited.elapsed() > kStartMs)
                    return QStringLiteral("a namespace did not come up");
                QThread::msleep(20);
            }
        }
        const QString mask = QStringLiteral("/24");
        const QList<std::pair<QString, QStringList>> steps = {
            {{}, {"link", "set", "lo", "up"}},
            {router, {"link", "add", "br0", "type", "bridge"}},
            {router, {"addr", "add", QLatin1String(kRouter) + mask, "dev", "br0"}},
            {router, {"link", "set", "br0", "up"}},
            // The machine's link to the router's inside network.
            {{}, {"link", "add", "eth0", "type", "veth", "peer", "name", "lan0", "netns", router}},
            {router, {"link", "set", "lan0", "master", "br0", "up"}},
            {{}, {"addr", "add", QLatin1String(kMachine) + mask, "dev", "eth0"}},
            {{}, {"link", "set", "eth0", "up"}},
            {{}, {"route", "add", "default", "via", kRouter}},
            // The neighbour's, on the same network.
            {neighbour, {"link", "add", "eth0", "type", "veth", "peer", "name", "lan1", "netns", router}},
            {router, {"link", "set", "lan1", "master", "br0", "up"}},
            {neighbour, {"addr", "add", QLatin1String(kNeighbour) + mask, "dev", "eth0"}},
            {neighbour, {"link", "set", "eth0", "up"}},
            {neighbour, {"route", "add", "default", "via", kRouter}},
            // The outside link.
            {router, {"link", "add", "wan0", "type", "veth", "peer", "name", "isp0", "netns", provider}},
            {provider, {"addr", "add", QLatin1String(kProvider) + mask, "dev", "isp0"}},
            {provider, {"link", "set", "isp0", "up"}},
            {router, {"addr", "add", QLatin1String(kOutside) + mask, "dev", "wan0"}},
            {router, {"link", "set", "wan0", "up"}},
            {router, {"route", "add", "default", "via", kProvider}},
        };
        for (const auto& [side, arguments] : steps) {
            if (!ip(side, arguments))
                return QStringLiteral("ip %1 failed").arg(arguments.join(QLatin1Char(' ')));
        }
        mOutside = QLatin1String(kOutside);
        return QString();
    }

    // Starts the daemon, NAT-PMP on or off (UPnP is always on): "" when it listens.
    QString start(bool natPmp)
    {
        stop();
        QFile config(mFolder.filePath(QStringLiteral("miniupnpd.conf")));
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("cannot write the daemon's configuration");
        config.write("ext_ifname=wan0\nlistening_ip=br0\nhttp_port=5000\nenable_natpmp=" +
                     QByteArray(natPmp ? "yes" : "no") +
                     "\nenable_upnp=yes\nsecure_mode=yes\nipv6_disable=yes\n"
                     "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b\n");
        config.close();
        mLog.clear();
        mDaemon = std::make_unique<QProcess>();
        mDaemon->setProcessChannelMode(QProcess::MergedChannels);
        mDaemon->start(QStringLiteral("nsenter"),
                       {QStringLiteral("-t"), mSides.value(QStringLiteral("router")), QStringLiteral("-n"),
                        QStringLiteral("miniupnpd"), QStringLiteral("-f"), config.fileName(),
                        QStringLiteral("-P"), mFolder.filePath(QStringLiteral("miniupnpd.pid")),
                        QStringLiteral("-d")});
        QElapsedTimer waited;
        waited.start();
        while (!log().contains("HTTP listening on port")) {
            if (waited.elapsed() > kStartMs || !mDaemon->waitForReadyRead(int(kStartMs - waited.elapsed())))
                return QStringLiteral("the router daemon did not start: %1")
                    .arg(QString::fromLocal8Bit(log()));
        }
        return QString();
    }

    void stop()
    {
        if (!mDaemon)
            return;
        mDaemon->terminate();
        if (!mDaemon->waitForFinished(3000)) {
            mDaemon->kill();
            mDaemon->waitForFinished();
        }
        mDaemon.reset();
    }

    // Gives the router's outside link another address, as a provider does: the old one goes
    // first, as on a real line.
    bool changeOutsideAddress(const QString& address)
    {
        const QString router = mSides.value(QStringLiteral("router"));
        if (!ip(router, {"addr", "del", mOutside + "/24", "dev", "wan0"}) ||
            !ip(router, {"addr", "add", address + "/24", "dev", "wan0"}))
            return false;
        mOutside = address;
        return true;
    }
    QString outsideAddress() const { return mOutside; }

    // A router that answers NAT-PMP alone, with the outside address given after the script (as
    // "python3 -c kNatPmpAlone ADDRESS"), even one the router daemon would not say.
    static constexpr const char* kNatPmpAlone = R"(
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('0.0.0.0', 5351))
answer = bytes.fromhex('0080000000000001') + socket.inet_aton(sys.argv[1])
while True:
    data, sender = s.recvfrom(64)
    if data[:2] == b'\x00\x00':
        s.sendto(answer, sender)
)";

    enum class Side { Router, Neighbour };
    // Runs a command to its end on the router or on the neighbour's machine: true when it
    // succeeded.
    bool runOn(Side side, const QString& program, const QStringList& arguments,
               QString* output = nullptr) const
    {
        return networkNamespace::run(
            QStringLiteral("nsenter"),
            QStringList{QStringLiteral("-t"), holderOf(side), QStringLiteral("-n"), program} + arguments,
            output);
    }

    // Starts a command on the router or on the neighbour's machine, for a caller whose event loop
    // must go on meanwhile.
    void startOn(QProcess& process, Side side, const QString& program, const QStringList& arguments) const
    {
        process.start(QStringLiteral("nsenter"),
                      QStringList{QStringLiteral("-t"), holderOf(side), QStringLiteral("-n"), program} +
                          arguments);
    }

    // Sends the daemon a signal (SIGUSR1: announce the outside address again).
    void signal(int number)
    {
        if (mDaemon)
            ::kill(static_cast<pid_t>(mDaemon->processId()), number);
    }

    // What the daemon has said so far.
    const QByteArray& log()
    {
        if (mDaemon)
            mLog += mDaemon->readAll();
        return mLog;
    }

private:
    QString holderOf(Side side) const
    {
        return mSides.value(side == Side::Router ? QStringLiteral("router") : QStringLiteral("neighbour"));
    }

    static bool ip(const QString& side, const QStringList& arguments)
    {
        QString output;
        const bool done =
            side.isEmpty() ? networkNamespace::run(QStringLiteral("ip"), arguments, &output)
                           : networkNamespace::run(QStringLiteral("nsenter"),
                                                   QStringList{QStringLiteral("-t"), side,
                                                               QStringLiteral("-n"), QStringLiteral("ip")} +
                                                       arguments,
                                                   &output);
        if (!done)
            qWarning("ip %s: %s", qPrintable(arguments.join(QLatin1Char(' '))), qPrintable(output));
        return done;
    }

    QTemporaryDir mFolder;
    QHash<QString, QString> mSides; // name -> the pid that holds its namespace
    std::vector<std::unique_ptr<QProcess>> mHolders;
    std::unique_ptr<QProcess> mDaemon;
    QByteArray mLog;
    QString mOutside;
};
