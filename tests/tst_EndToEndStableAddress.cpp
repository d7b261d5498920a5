// The stable IPv6 address posted for real, with privacy addresses on: the program's side and
// the reference server's joined by a pair of virtual Ethernet devices, the program's side
// making temporary addresses every few seconds. The test runs itself again inside
// "unshare -n", where the program's side lives; the server's side is a second namespace in it.

#include "NetworkNamespace.h"
#include "ScriptRun.h"
#include "WatchRun.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kServerAddress = QStringLiteral("2001:db8:5::1");
const QString kStable = QStringLiteral("2001:db8:5::2");
// Temporary addresses preferred for 8 s: the kernel makes a new one every few seconds.
constexpr int kTemporaryPreferredSeconds = 8;
constexpr int kWaitMs = 20000;
QString gUnavailable;

using networkNamespace::ip;

bool setInterfaceOption(const QString& option, int value)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv6/conf/eth0/") + option);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(value)) > 0;
}

// The source address the kernel takes toward the server now.
QString kernelSource()
{
    QString output;
    networkNamespace::run(QStringLiteral("ip"), {"-6", "route", "get", kServerAddress}, &output);
    return QRegularExpression(QStringLiteral(" src (\\S+)")).match(output).captured(1);
}

} // namespace

class tst_EndToEndStableAddress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void theStableAddressIsPostedAndARenewedTemporaryIsNoChange();

private:
    std::unique_ptr<ScriptRun> run();
    int updates(const QString& address = QString());

    QProcess mServerSide;
    QProcess mServer;
    QByteArray mServerOutput;
};

void tst_EndToEndStableAddress::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    mServerSide.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("sleep"), "600"});
    QVERIFY(mServerSide.waitForStarted());
    const QString side = QString::number(mServerSide.processId());
    QTRY_VERIFY(ip({"link", "set", "lo", "up"}, side));
    QVERIFY(ip({"link", "set", "lo", "up"}));
    QVERIFY(ip({"link", "add", "eth0", "type", "veth", "peer", "name", "eth1", "netns", side}));
    // Privacy addresses preferred as the source, made at once (no duplicate detection) and
    // renewed every few seconds, as the kernel does daily.
    QVERIFY(setInterfaceOption(QStringLiteral("use_tempaddr"), 2));
    QVERIFY(setInterfaceOption(QStringLiteral("dad_transmits"), 0));
    QVERIFY(setInterfaceOption(QStringLiteral("temp_prefered_lft"), kTemporaryPreferredSeconds));
    QVERIFY(setInterfaceOption(QStringLiteral("temp_valid_lft"), 60));
    QVERIFY(ip({"link", "set", "eth0", "up"}));
    QVERIFY(ip({"link", "set", "eth1", "up"}, side));
    QVERIFY(ip({"-6", "addr", "add", kServerAddress + "/64", "dev", "eth1", "nodad"}, side));
    QVERIFY(ip({"-6", "addr", "add", kStable + "/64", "dev", "eth0", "mngtmpaddr", "nodad"}));

    mServer.start(QStringLiteral("nsenter"), {"-t", side, "-n", kServer, "--listen", kServerAddress, "--port",
                                              "2345", "--account", "alice:pw:home.dyn.brevant.example"});
    QVERIFY(mServer.waitForReadyRead(kWaitMs));
    QVERIFY(mServer.readLine().startsWith("listening on"));
}

void tst_EndToEndStableAddress::cleanupTestCase()
{
    mServer.kill();
    mServer.waitForFinished();
    mServerSide.kill();
    mServerSide.waitForFinished();
}

// A run with settings, history and lock of its own, the connection's address chosen.
std::unique_ptr<ScriptRun> tst_EndToEndStableAddress::run()
{
    auto made = std::make_unique<ScriptRun>(kProgram);
    QFile ini(made->settingsFile());
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[Settings]\nServer=" + kServerAddress.toLatin1() +
                  "\nPort=2345\nUsername=alice\nPassword=pw\nSubDomain=home\nAddressFrom=connection\n");
    return made;
}

// The updates the server has accepted so far, for the address or any.
int tst_EndToEndStableAddress::updates(const QString& address)
{
    mServerOutput += mServer.readAllStandardOutput();
    return int(mServerOutput.count("update home.dyn.brevant.example " + address.toLatin1()));
}

void tst_EndToEndStableAddress::theStableAddressIsPostedAndARenewedTemporaryIsNoChange()
{
    // The kernel goes out from a temporary address: otherwise there is nothing to tell apart.
    QTRY_VERIFY_WITH_TIMEOUT(!kernelSource().isEmpty() && kernelSource() != kStable, kWaitMs);

    const std::unique_ptr<ScriptRun> update = run();
    QByteArray out;
    QByteArray err;
    const int status = update->run({QStringLiteral("--update")}, &out, &err);
    QVERIFY2(status == 0, out + err);
    QVERIFY2(out.contains(" - Sending new host IP (" + kStable.toLatin1() + ")..."), out + err);
    QCOMPARE(updates(kStable + ' '), 1);
    QCOMPARE(updates(), 1);

    // A watcher of its own history posts the stable address once; the kernel's next temporary
    // address is no change.
    const std::unique_ptr<ScriptRun> watched = run();
    WatchRun watch;
    watch.process.setProcessEnvironment(watched->environment());
    watch.process.start(kProgram, {QStringLiteral("--watch")});
    QVERIFY(watch.process.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(updates(kStable + ' ') == 2, watch.output().constData(), kWaitMs);
    const QString temporary = kernelSource();
    QTRY_VERIFY_WITH_TIMEOUT(kernelSource() != temporary, kWaitMs);
    // Long enough for the kernel's announcement and the watcher's poll.
    QTest::qWait(6000);
    QCOMPARE(updates(), 2);
    QCOMPARE(watch.count(" - Sending new host IP ("), 1);
    QCOMPARE(watch.stop(), 0);
}

// Outside a namespace the test runs itself again inside one, as root may.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        gUnavailable = networkNamespace::unavailable({QStringLiteral("ip"), QStringLiteral("nsenter")},
                                                     {QStringLiteral("-n")});
        if (gUnavailable.isEmpty())
            return networkNamespace::runInside({QStringLiteral("-n")});
    }
    tst_EndToEndStableAddress test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_EndToEndStableAddress.moc"
