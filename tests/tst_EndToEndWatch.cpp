// The real watcher and the reference server over TCP, each in a network namespace of its own,
// joined by a pair of virtual Ethernet devices: the watcher's address is changed with "ip addr".
// The test runs itself again inside "unshare -n", where the watcher's side lives; the server's
// side is a second namespace inside it.

#include "NetworkNamespace.h"
#include "WatchRun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kServerAddress = QStringLiteral("10.7.0.1");
constexpr int kWaitMs = 10000;
QString gUnavailable;

using networkNamespace::ip;

using Watch = WatchRun;

} // namespace

class tst_EndToEndWatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void postsOnceAndNotAgainWithinTheRefreshInterval();
    void changedAddressIsPostedAndUsr1PostsAtOnce();
    void secondWatcherNamesTheFirst_data();
    void secondWatcherNamesTheFirst();
    void serviceManagerIsToldWhenReadyAndWhatWasPosted();
    void refusedLoginWaitsForTheSettingsToChange();

private:
    void writeSettings(const QByteArray& password, int port = 2345);
    void start(Watch& watch, const QStringList& variables = {});
    int updatesOf(const QString& address);

    QProcess mServerSide;
    QProcess mServer;
    QByteArray mServerOutput;
    std::unique_ptr<QTemporaryDir> mHome;
};

void tst_EndToEndWatch::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    // The server's side: a namespace held open by a process that does nothing.
    mServerSide.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("sleep"), "600"});
    QVERIFY(mServerSide.waitForStarted());
    const QString side = QString::number(mServerSide.processId());
    QTRY_VERIFY(ip({"link", "set", "lo", "up"}, side));
    for (const QStringList& command :
         QList<QStringList>{{"link", "set", "lo", "up"},
                            {"link", "add", "wv", "type", "veth", "peer", "name", "sv", "netns", side},
                            {"addr", "add", "10.7.0.2/24", "dev", "wv"},
                            {"link", "set", "wv", "up"}})
        QVERIFY(ip(command));
    QVERIFY(ip({"addr", "add", kServerAddress + "/24", "dev", "sv"}, side));
    QVERIFY(ip({"link", "set", "sv", "up"}, side));
    mServer.start(QStringLiteral("nsenter"), {"-t", side, "-n", kServer, "--listen", kServerAddress, "--port",
                                              "2345", "--account", "alice:pw:home.dyn.brevant.example"});
    QVERIFY(mServer.waitForReadyRead(kWaitMs));
    QVERIFY(mServer.readLine().startsWith("listening on"));
}

void tst_EndToEndWatch::cleanupTestCase()
{
    for (QProcess* process : {&mServer, &mServerSide}) {
        process->kill();
        process->waitForFinished();
    }
}

void tst_EndToEndWatch::init()
{
    mHome = std::make_unique<QTemporaryDir>();
    for (const char* folder : {"config", "runtime", "state"})
        QVERIFY(QDir(mHome->path()).mkpath(QLatin1String(folder)));
    QVERIFY(QFile::setPermissions(mHome->filePath("runtime"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    writeSettings("pw");
    // Each test starts from the watcher's first address, whatever the last one left.
    QVERIFY(ip({"addr", "flush", "dev", "wv"}));
    QVERIFY(ip({"addr", "add", "10.7.0.2/24", "dev", "wv"}));
}

void tst_EndToEndWatch::writeSettings(const QByteArray& password, int port)
{
    QFile ini(mHome->filePath("config/Corvane DynDNS.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Settings]\nServer=" + kServerAddress.toLatin1() + "\nPort=" + QByteArray::number(port) +
              "\nUsername=alice\nPassword=" + password + "\nSubDomain=home\n");
}

void tst_EndToEndWatch::start(Watch& watch, const QStringList& variables)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert("XDG_CONFIG_HOME", mHome->filePath("config"));
    env.insert("XDG_RUNTIME_DIR", mHome->filePath("runtime"));
    env.insert("XDG_STATE_HOME", mHome->filePath("state"));
    for (const QString& variable : variables)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    watch.process.setProcessEnvironment(env);
    watch.process.start(kProgram, {QStringLiteral("--watch")});
    QVERIFY(watch.process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(watch.output().contains(" - Watching home.dyn.brevant.example."), kWaitMs);
}

// The updates the server has accepted for the address so far.
int tst_EndToEndWatch::updatesOf(const QString& address)
{
    mServerOutput += mServer.readAllStandardOutput();
    return int(mServerOutput.count("update home.dyn.brevant.example " + address.toLatin1() + " "));
}

void tst_EndToEndWatch::postsOnceAndNotAgainWithinTheRefreshInterval()
{
    const int before = updatesOf("10.7.0.2");
    Watch first;
    start(first);
    QTRY_COMPARE_WITH_TIMEOUT(updatesOf("10.7.0.2"), before + 1, kWaitMs);
    QVERIFY2(first.output().contains(" - Warning: 10.7.0.2 is a private address"), first.out.constData());
    QCOMPARE(first.stop(), 0);

    Watch second;
    start(second);
    QTRY_VERIFY_WITH_TIMEOUT(second.output().contains(" already points at 10.7.0.2"), kWaitMs);
    QTest::qWait(2000); // the no-change case: nothing goes out meanwhile
    QCOMPARE(second.count(" - Connecting to "), 0);
    QCOMPARE(updatesOf("10.7.0.2"), before + 1);
    QCOMPARE(second.stop(), 0);
}

void tst_EndToEndWatch::changedAddressIsPostedAndUsr1PostsAtOnce()
{
    Watch watch;
    start(watch);
    QTRY_COMPARE_WITH_TIMEOUT(watch.count(" - Disconnected."), 1, kWaitMs);
    const int before = updatesOf("10.7.0.3");
    QVERIFY(ip({"addr", "del", "10.7.0.2/24", "dev", "wv"}));
    QVERIFY(ip({"addr", "add", "10.7.0.3/24", "dev", "wv"}));
    QTRY_COMPARE_WITH_TIMEOUT(updatesOf("10.7.0.3"), before + 1, kWaitMs);

    watch.signal(SIGUSR1); // unchanged, and posted all the same
    QTRY_COMPARE_WITH_TIMEOUT(updatesOf("10.7.0.3"), before + 2, kWaitMs);
    QCOMPARE(watch.stop(), 0);
}

void tst_EndToEndWatch::secondWatcherNamesTheFirst_data()
{
    QTest::addColumn<bool>("runtimeFolder"); // the second has one, as the first has
    QTest::newRow("the same environment") << true;
    QTest::newRow("one without a runtime folder (a cron job)") << false;
}

// One user has one watcher, whatever the environment each was started from.
void tst_EndToEndWatch::secondWatcherNamesTheFirst()
{
    QFETCH(bool, runtimeFolder);
    Watch first;
    start(first);
    QProcess second;
    QProcessEnvironment env = first.process.processEnvironment();
    if (!runtimeFolder)
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    second.setProcessEnvironment(env);
    second.start(kProgram, {QStringLiteral("--watch")});
    QVERIFY(second.waitForFinished(kWaitMs));
    QCOMPARE(second.exitCode(), 75);
    QVERIFY(second.readAllStandardError().contains("(process " +
                                                   QByteArray::number(first.process.processId()) + ")"));
    QCOMPARE(first.stop(), 0);
}

// Started by systemd as a notify service: READY once its handlers are in place, so that a
// reload right after it ends nothing; STATUS says what was posted.
void tst_EndToEndWatch::serviceManagerIsToldWhenReadyAndWhatWasPosted()
{
    const QByteArray path = QFile::encodeName(mHome->filePath("notify"));
    const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    QVERIFY(::bind(manager, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
    QByteArray told;
    const auto hear = [&]() -> const QByteArray& {
        char datagram[4096];
        for (ssize_t n; (n = ::recv(manager, datagram, sizeof datagram, 0)) > 0;)
            told += QByteArray(datagram, n) + '\n';
        return told;
    };
    Watch watch;
    start(watch, {"NOTIFY_SOCKET=" + QString::fromLocal8Bit(path)});
    QTRY_VERIFY_WITH_TIMEOUT(hear().contains("READY=1"), kWaitMs);
    watch.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(watch.output().contains(" - Settings read again."), kWaitMs);
    QTRY_VERIFY2_WITH_TIMEOUT(hear().contains("STATUS=Posted 10.7.0.2 for home.dyn.brevant.example at "),
                              told.constData(), kWaitMs);
    QCOMPARE(watch.stop(), 0);
    QVERIFY(hear().contains("STOPPING=1"));
    ::close(manager);
}

void tst_EndToEndWatch::refusedLoginWaitsForTheSettingsToChange()
{
    writeSettings("wrong");
    Watch watch;
    start(watch);
    QTRY_VERIFY_WITH_TIMEOUT(watch.output().contains(" - The server refused;"), kWaitMs);
    watch.signal(SIGHUP); // read again, the settings unchanged: still no new try on its own
    QVERIFY(ip({"addr", "del", "10.7.0.2/24", "dev", "wv"}));
    QVERIFY(ip({"addr", "add", "10.7.0.4/24", "dev", "wv"}));
    QTest::qWait(3000);
    QCOMPARE(watch.count(" - Connecting to "), 1);

    writeSettings("pw");
    QTRY_VERIFY2_WITH_TIMEOUT(updatesOf("10.7.0.4") == 1, watch.output().constData(), kWaitMs);
    QCOMPARE(watch.stop(), 0);
}

// Outside a namespace the test runs itself again inside one, as root may.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        gUnavailable = networkNamespace::unavailable({"ip", "nsenter"}, {"-n"});
        if (gUnavailable.isEmpty()) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            networkNamespace::startInside(child, {"-n"}, app.arguments().mid(1));
            child.waitForFinished(-1);
            return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
        }
    }
    tst_EndToEndWatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_EndToEndWatch.moc"
