// The address the world sees, posted for real: the program behind the router daemon
// (miniupnpd) in network namespaces the test makes, the reference server on the router's
// inside address. The test runs itself again inside "unshare -n"; nothing leaves the namespaces.

#include "RouterNamespace.h"
#include "ScriptRun.h"
#include "WatchRun.h"

#include <QtTest>

namespace {

const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kMachine = QLatin1String(RouterNamespace::kMachine);
constexpr int kWaitMs = 20000;
QString gUnavailable;

// A lookup service on the router's inside address that answers as the file named after the
// script says: "busy" (429, back in 120 s), "garbage" or else its address. It prints a line once
// it listens, and one for each question.
const char* kLookup = R"(
import http.server, sys
class Lookup(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        mode = open(sys.argv[1]).read().strip()
        print('asked', flush=True)
        if mode == 'busy':
            self.send_response(429)
            self.send_header('Retry-After', '120')
            self.end_headers()
            return
        body = b'<html>no address here</html>' if mode == 'garbage' else b'81.2.69.160\n'
        self.send_response(200)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('192.168.77.1', 8080), Lookup)
print('listening', flush=True)
server.serve_forever()
)";

} // namespace

class tst_EndToEndPublicAddress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void updatePostsTheAddressTheWorldSees_data();
    void updatePostsTheAddressTheWorldSees();
    void watcherFollowsTheOutsideAddress_data();
    void watcherFollowsTheOutsideAddress();
    void carrierGradeNatIsSaidAndNotPosted();
    void aFailingLookupLeavesTheName();

private:
    void writeSettings(const QString& addressFrom);
    int updatesOf(const QString& address);
    void startWatch(WatchRun& watch);

    std::unique_ptr<RouterNamespace> mRig;
    std::unique_ptr<ScriptRun> mRun;
    QProcess mServer;
    QByteArray mServerOutput;
    int mOutside = 44;
};

void tst_EndToEndPublicAddress::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    mRig = std::make_unique<RouterNamespace>();
    const QString why = mRig->build();
    QVERIFY2(why.isEmpty(), qPrintable(why));
    mServer.setProcessChannelMode(QProcess::SeparateChannels);
    mRig->startOn(mServer, RouterNamespace::Side::Router, kServer,
                  {"--listen", RouterNamespace::kRouter, "--port", "2345", "--account",
                   "alice:pw:home.dyn.brevant.example"});
    QVERIFY(mServer.waitForReadyRead(kWaitMs));
    QVERIFY(mServer.readLine().startsWith("listening on"));
}

void tst_EndToEndPublicAddress::cleanupTestCase()
{
    mServer.kill();
    mServer.waitForFinished();
    mRig.reset();
}

void tst_EndToEndPublicAddress::writeSettings(const QString& addressFrom)
{
    mRun = std::make_unique<ScriptRun>(kProgram);
    QFile ini(mRun->settingsFile());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Settings]\nServer=" + QByteArray(RouterNamespace::kRouter) +
              "\nPort=2345\nUsername=alice\nPassword=pw\nSubDomain=home\n");
    if (!addressFrom.isEmpty())
        ini.write("AddressFrom=" + addressFrom.toUtf8() + "\n");
}

// The updates the server has accepted for the address so far.
int tst_EndToEndPublicAddress::updatesOf(const QString& address)
{
    mServerOutput += mServer.readAllStandardOutput();
    return int(mServerOutput.count("update home.dyn.brevant.example " + address.toLatin1() + " "));
}

void tst_EndToEndPublicAddress::startWatch(WatchRun& watch)
{
    watch.process.setProcessEnvironment(mRun->environment());
    watch.process.start(kProgram, {QStringLiteral("--watch")});
    QVERIFY(watch.process.waitForStarted());
}

void tst_EndToEndPublicAddress::updatePostsTheAddressTheWorldSees_data()
{
    QTest::addColumn<QString>("addressFrom");
    QTest::addColumn<bool>("natPmp");
    QTest::addColumn<QString>("posted");
    QTest::newRow("absent, NAT-PMP") << "" << true << RouterNamespace::kOutside;
    QTest::newRow("absent, UPnP alone") << "" << false << RouterNamespace::kOutside;
    QTest::newRow("router") << "router" << true << RouterNamespace::kOutside;
    QTest::newRow("connection: the private one, as ever") << "connection" << true << kMachine;
}

void tst_EndToEndPublicAddress::updatePostsTheAddressTheWorldSees()
{
    QFETCH(QString, addressFrom);
    QFETCH(bool, natPmp);
    QFETCH(QString, posted);
    const QString why = mRig->start(natPmp);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    writeSettings(addressFrom);
    const int before = updatesOf(posted);
    QByteArray out;
    QByteArray err;
    QCOMPARE(mRun->run({QStringLiteral("--update")}, &out, &err), 0);
    QVERIFY2(out.contains(" - Sending new host IP (" + posted.toLatin1() + ")..."), out + err);
    QCOMPARE(updatesOf(posted), before + 1);
    // What --address-from alone says a post would use is what was posted.
    QCOMPARE(mRun->run({QStringLiteral("--address-from")}, &out, &err), 0);
    QVERIFY2(out.contains("\nA post would use: " + posted.toLatin1() + " ("), out + err);
}

void tst_EndToEndPublicAddress::watcherFollowsTheOutsideAddress_data()
{
    QTest::addColumn<bool>("natPmp");
    QTest::newRow("NAT-PMP announces it") << true;
    QTest::newRow("UPnP events tell it") << false;
}

void tst_EndToEndPublicAddress::watcherFollowsTheOutsideAddress()
{
    QFETCH(bool, natPmp);
    const QString why = mRig->start(natPmp);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    writeSettings(QString());
    const QString first = mRig->outsideAddress();
    const int before = updatesOf(first);
    const int machineBefore = updatesOf(kMachine);
    WatchRun watch;
    startWatch(watch);
    QTRY_VERIFY2_WITH_TIMEOUT(updatesOf(first) == before + 1, watch.output().constData(), kWaitMs);

    // A neighbour's forged announcement of another address: the router is asked again, and
    // what it says is what counts.
    QProcess forger;
    mRig->startOn(forger, RouterNamespace::Side::Neighbour, QStringLiteral("python3"),
                  {"-c", "import socket\ns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                         "s.bind(('', 5351))\n"
                         "s.sendto(bytes.fromhex('008000000000000106060606'), ('224.0.0.1', 5350))\n"});
    QVERIFY(forger.waitForFinished(kWaitMs));

    const QString next = QStringLiteral("11.22.33.%1").arg(++mOutside);
    QVERIFY(mRig->changeOutsideAddress(next));
    QTRY_VERIFY2_WITH_TIMEOUT(updatesOf(next) == 1, watch.output().constData(), kWaitMs);
    QTest::qWait(1500);
    QCOMPARE(updatesOf(QStringLiteral("6.6.6.6")), 0);
    QCOMPARE(updatesOf(next), 1);
    QCOMPARE(updatesOf(kMachine), machineBefore);
    QCOMPARE(watch.stop(), 0);
}

void tst_EndToEndPublicAddress::carrierGradeNatIsSaidAndNotPosted()
{
    mRig->stop();
    QProcess router;
    router.setProcessChannelMode(QProcess::MergedChannels);
    // The outside address of a carrier's shared range, as a router behind carrier-grade NAT has.
    mRig->startOn(router, RouterNamespace::Side::Router, QStringLiteral("python3"),
                  {"-c", RouterNamespace::kNatPmpAlone, "100.64.0.9"});
    QVERIFY(router.waitForStarted());
    QTest::qWait(500);

    writeSettings(QStringLiteral("router"));
    QByteArray out;
    QByteArray err;
    QVERIFY(mRun->run({QStringLiteral("--update")}, &out, &err) != 0);
    QVERIFY2((out + err).contains("100.64.0.9 is a carrier-grade NAT address"), out + err);
    QVERIFY(!out.contains(" - Sending new host IP"));

    writeSettings(QString());
    const int before = updatesOf(kMachine);
    QCOMPARE(mRun->run({QStringLiteral("--update")}, &out, &err), 0);
    QVERIFY2(out.contains("Inbound connections cannot reach this machine through the name"), out + err);
    QCOMPARE(updatesOf(kMachine), before + 1);
    QCOMPARE(updatesOf(QStringLiteral("100.64.0.9")), 0);
    QCOMPARE(mRun->run({QStringLiteral("--status")}, &out, &err), 0);
    QVERIFY2(out.contains("Inbound connections cannot reach this machine through the name"), out + err);
    router.kill();
    router.waitForFinished();
}

// With no router to ask, the lookup service's address is posted; when the service then fails,
// the name keeps it (the private address would reach nothing), and the reason is said.
void tst_EndToEndPublicAddress::aFailingLookupLeavesTheName()
{
    mRig->stop();
    QTemporaryDir folder;
    QFile mode(folder.filePath(QStringLiteral("mode")));
    const auto answer = [&mode](const QByteArray& how) {
        if (!mode.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const bool written = mode.write(how) == how.size();
        mode.close();
        return written;
    };
    QVERIFY(answer("address"));
    QProcess lookup;
    mRig->startOn(lookup, RouterNamespace::Side::Router, QStringLiteral("python3"),
                  {"-c", kLookup, mode.fileName()});
    QVERIFY(lookup.waitForReadyRead(kWaitMs));

    writeSettings(QStringLiteral("http://%1:8080/ip").arg(RouterNamespace::kRouter));
    const QString seen = QStringLiteral("81.2.69.160");
    const int before = updatesOf(seen);
    const int machineBefore = updatesOf(kMachine);
    QByteArray out;
    QByteArray err;
    QVERIFY2(mRun->run({QStringLiteral("--update")}, &out, &err) == 0, out + err);
    QCOMPARE(updatesOf(seen), before + 1);
    // Each failure is said, and a busy service is not asked again, even by the next run, before
    // the time it gave.
    const std::pair<const char*, const char*> failures[] = {
        {"garbage", "the lookup service's answer holds no address"},
        {"busy", "the lookup service is busy (HTTP 429)"},
        {"busy", "the lookup service asked not to be asked again before"}};
    for (const auto& [how, why] : failures) {
        QVERIFY(answer(how));
        QCOMPARE(mRun->run({QStringLiteral("--update")}, &out, &err), 2);
        QVERIFY2((out + err).contains(why), out + err);
    }
    QCOMPARE(lookup.readAllStandardOutput().count("asked"), 3);
    QCOMPARE(updatesOf(seen), before + 1);
    QCOMPARE(updatesOf(kMachine), machineBefore);
    lookup.kill();
    lookup.waitForFinished();
}

// Outside a namespace the test runs itself again inside one, as root may.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        gUnavailable = RouterNamespace::unavailable();
        if (gUnavailable.isEmpty())
            return networkNamespace::runInside({"-n"});
    }
    tst_EndToEndPublicAddress test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_EndToEndPublicAddress.moc"
