// The router asked and heard for real: the router daemon (miniupnpd) in network namespaces the
// test makes, with the test's own namespace as the machine behind it and a neighbour on the
// same network who forges what anyone on a home network can send. The test runs itself again
// inside "unshare -n"; nothing it sends leaves the namespaces.

#include "RouterNamespace.h"
#include "platform/qt/QtRouter.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr int kAnswerMs = 15000;
// What the daemon needs to see its outside address change and say so.
constexpr int kHeardMs = 10000;
// How long nothing more is heard after a burst: the daemon and our subscription have settled.
constexpr int kQuietMs = 1500;
QString gUnavailable;

const QString kGateway = QLatin1String(RouterNamespace::kRouter);

IRouter::Answer ask(QtRouter& router)
{
    std::optional<IRouter::Answer> answer;
    router.askOutsideAddress([&](const IRouter::Answer& a) { answer = a; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, kAnswerMs))
        return {QString(), QString(), QString(), QStringLiteral("(the test waited in vain)")};
    return *answer;
}

// A notification of the router's events as a neighbour would forge it, sent from the side named
// to the machine's callback port: what came back, as Python shows bytes, and how the
// connection ended (closed, reset, timeout).
const char* kForgedNotify = R"(
import socket, sys
body = b'<?xml version="1.0"?><e:propertyset xmlns:e="urn:schemas-upnp-org:event-1-0"><e:property>' \
       b'<ExternalIPAddress>6.6.6.6</ExternalIPAddress></e:property></e:propertyset>'
s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=3)
got = b''
end = 'closed'
try:
    s.sendall(b'NOTIFY / HTTP/1.1\r\nHOST: x\r\nNT: upnp:event\r\nNTS: upnp:propchange\r\nSID: uuid:forged\r\n'
              b'SEQ: 0\r\nContent-Length: %d\r\n\r\n' % len(body) + body)
    while True:
        part = s.recv(4096)
        if not part:
            break
        got += part
except socket.timeout:
    end = 'timeout'
except (ConnectionResetError, BrokenPipeError):
    end = 'reset'
print(repr(got), end)
)";

// A NAT-PMP announcement of 6.6.6.6 multicast from the router's port, as only the router should.
const char* kForgedAnnouncement = R"(
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('', 5351))
s.sendto(bytes.fromhex('008000000000000106060606'), ('224.0.0.1', 5350))
)";

} // namespace

class tst_EndToEndRouter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void asksByNatPmp();
    void asksByUpnpWhenNatPmpIsOff();
    void hearsTheOutsideAddressChange_data();
    void hearsTheOutsideAddressChange();
    void forgeriesFromTheNetworkAreNotHeard();
    void listeningFollowsTheGateway();
    void noDefaultGateway();

private:
    QString nextOutsideAddress();
    quint16 callbackPort();
    QString forge(RouterNamespace::Side side, const QStringList& python);

    std::unique_ptr<RouterNamespace> mRig;
    int mOutside = 44;
};

void tst_EndToEndRouter::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    mRig = std::make_unique<RouterNamespace>();
    const QString why = mRig->build();
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void tst_EndToEndRouter::cleanupTestCase()
{
    mRig.reset();
}

QString tst_EndToEndRouter::nextOutsideAddress()
{
    return QStringLiteral("11.22.33.%1").arg(++mOutside);
}

// The port the router's callback listens on: the one TCP port listening on the machine's
// address, in a namespace where nothing else listens there.
quint16 tst_EndToEndRouter::callbackPort()
{
    QString listening;
    if (!networkNamespace::run("ss", {"-Hltn", "src", RouterNamespace::kMachine}, &listening))
        return 0;
    const QStringList fields = listening.simplified().split(' ');
    return fields.size() >= 4 ? fields.at(3).section(':', -1).toUShort() : 0;
}

// Runs the Python forgery on the side named while the event loop serves the router's
// callback: what it printed.
QString tst_EndToEndRouter::forge(RouterNamespace::Side side, const QStringList& python)
{
    QProcess forger;
    forger.setProcessChannelMode(QProcess::MergedChannels);
    mRig->startOn(forger, side, "python3", python);
    if (!QTest::qWaitFor([&] { return forger.state() == QProcess::NotRunning; }, kHeardMs))
        forger.kill();
    return QString::fromLocal8Bit(forger.readAll()).trimmed();
}

void tst_EndToEndRouter::asksByNatPmp()
{
    const QString why = mRig->start(true);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QtRouter router;
    // A later question supersedes the first: only its answer comes.
    int superseded = 0;
    router.askOutsideAddress([&](const IRouter::Answer&) { ++superseded; });
    const IRouter::Answer answer = ask(router);
    QCOMPARE(answer.why, QString());
    QCOMPARE(answer.gateway, kGateway);
    QCOMPARE(answer.address, mRig->outsideAddress());
    QCOMPARE(answer.protocol, "NAT-PMP");
    QTest::qWait(kQuietMs);
    QCOMPARE(superseded, 0);
}

void tst_EndToEndRouter::asksByUpnpWhenNatPmpIsOff()
{
    const QString why = mRig->start(false);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QtRouter router;
    const IRouter::Answer answer = ask(router);
    QCOMPARE(answer.why, QString());
    QCOMPARE(answer.gateway, kGateway);
    QCOMPARE(answer.address, mRig->outsideAddress());
    QCOMPARE(answer.protocol, "UPnP");

    // Ended while UPnP is being asked (NAT-PMP has given up): the late answer goes nowhere.
    int late = 0;
    {
        QtRouter ended;
        ended.askOutsideAddress([&](const IRouter::Answer&) { ++late; });
        QTest::qWait(2500);
    }
    QTest::qWait(4000);
    QCOMPARE(late, 0);

    // Asked again while the daemon is down: neither protocol answers.
    mRig->stop();
    const IRouter::Answer none = ask(router);
    QCOMPARE(none.address, QString());
    QCOMPARE(none.why, "no answer from the router " + kGateway + " (NAT-PMP or UPnP)");

    // A gateway silent to NAT-PMP lately is asked by UPnP first; with UPnP gone, NAT-PMP is
    // asked all the same, and may be back.
    QProcess natPmpAlone;
    mRig->startOn(natPmpAlone, RouterNamespace::Side::Router, "python3",
                  {"-c", RouterNamespace::kNatPmpAlone, "11.22.33.99"});
    QVERIFY(natPmpAlone.waitForStarted());
    QTest::qWait(500);
    const IRouter::Answer back = ask(router);
    natPmpAlone.kill();
    natPmpAlone.waitForFinished();
    QCOMPARE(back.address, "11.22.33.99");
    QCOMPARE(back.protocol, "NAT-PMP");
}

void tst_EndToEndRouter::hearsTheOutsideAddressChange_data()
{
    QTest::addColumn<bool>("natPmp");
    QTest::addColumn<QString>("protocol");
    // A NAT-PMP announcement is always a reason to ask; a UPnP event only when the address it
    // names is not the one heard last.
    QTest::addColumn<bool>("reannouncedIsHeard");
    QTest::newRow("NAT-PMP announcements") << true << "NAT-PMP" << true;
    QTest::newRow("UPnP events") << false << "UPnP" << false;
}

void tst_EndToEndRouter::hearsTheOutsideAddressChange()
{
    QFETCH(bool, natPmp);
    QFETCH(QString, protocol);
    QFETCH(bool, reannouncedIsHeard);
    const QString why = mRig->start(natPmp);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QtRouter router;
    QCOMPARE(ask(router).protocol, protocol);
    int heard = 0;
    router.listen([&] { ++heard; });
    // The subscription's first event names the address already known: nothing to ask.
    QTest::qWait(kQuietMs);
    QCOMPARE(heard, 0);

    // The same address said again.
    mRig->signal(SIGUSR1);
    if (reannouncedIsHeard)
        QTRY_VERIFY_WITH_TIMEOUT(heard > 0, kHeardMs);
    QTest::qWait(kQuietMs);
    QCOMPARE(heard > 0, reannouncedIsHeard);

    heard = 0;
    const QString changed = nextOutsideAddress();
    QVERIFY(mRig->changeOutsideAddress(changed));
    QTRY_VERIFY2_WITH_TIMEOUT(heard > 0, mRig->log().constData(), kHeardMs);
    const IRouter::Answer answer = ask(router);
    QCOMPARE(answer.address, changed);
    QCOMPARE(answer.protocol, protocol);

    // Not listening any more: the next change goes unheard.
    router.listen(nullptr);
    QTest::qWait(kQuietMs);
    heard = 0;
    QVERIFY(mRig->changeOutsideAddress(nextOutsideAddress()));
    QTest::qWait(kQuietMs * 2);
    QCOMPARE(heard, 0);
}

void tst_EndToEndRouter::forgeriesFromTheNetworkAreNotHeard()
{
    // UPnP alone: the router's events come to the callback, which the forgery then tries.
    const QString why = mRig->start(false);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QtRouter router;
    QCOMPARE(ask(router).protocol, "UPnP");
    int heard = 0;
    router.listen([&] { ++heard; });
    QTest::qWait(kQuietMs);
    QCOMPARE(heard, 0);

    // The forged announcement reaches the machine (a socket of the test's own hears it), and is
    // not from the gateway.
    QUdpSocket witness;
    QVERIFY(witness.bind(QHostAddress(QStringLiteral("224.0.0.1")), 5350,
                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QString output;
    QVERIFY2(mRig->runOn(RouterNamespace::Side::Neighbour, "python3", {"-c", kForgedAnnouncement}, &output),
             qPrintable(output));
    QTRY_VERIFY_WITH_TIMEOUT(witness.hasPendingDatagrams(), kHeardMs);
    QCOMPARE(witness.receiveDatagram().senderAddress().toString(), RouterNamespace::kNeighbour);

    // The forged notification is refused before it is read: no answer at all. The connection is
    // reset when the request had arrived before the refusal, and closed when it had not yet.
    const quint16 port = callbackPort();
    QVERIFY(port != 0);
    const QStringList notify = {"-c", kForgedNotify, RouterNamespace::kMachine, QString::number(port)};
    const QString fromNeighbour = forge(RouterNamespace::Side::Neighbour, notify);
    QVERIFY2(fromNeighbour == "b'' reset" || fromNeighbour == "b'' closed", qPrintable(fromNeighbour));
    // From the gateway's address, another subscription's notification is read and refused.
    const QString fromGateway = forge(RouterNamespace::Side::Router, notify);
    QVERIFY2(fromGateway.startsWith("b'HTTP/1.1 412 Precondition Failed\\r\\n") &&
                 fromGateway.endsWith(" closed"),
             qPrintable(fromGateway));

    QTest::qWait(kQuietMs);
    QCOMPARE(heard, 0);
    // And the router itself is still heard.
    QVERIFY(mRig->changeOutsideAddress(nextOutsideAddress()));
    QTRY_VERIFY_WITH_TIMEOUT(heard > 0, kHeardMs);
}

// When the routes name another gateway, the next question goes to it and the announcements
// are taken from it alone.
void tst_EndToEndRouter::listeningFollowsTheGateway()
{
    const QString why = mRig->start(true);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QtRouter router;
    int heard = 0;
    router.listen([&] { ++heard; });
    QCOMPARE(ask(router).protocol, "NAT-PMP");

    const QString other = QLatin1String(RouterNamespace::kNeighbour);
    QVERIFY(networkNamespace::run("ip", {"route", "replace", "default", "via", other}));
    const IRouter::Answer answer = ask(router);
    QVERIFY(networkNamespace::run("ip", {"route", "replace", "default", "via", kGateway}));
    QCOMPARE(answer.gateway, other);
    QCOMPARE(answer.address, QString());
    QCOMPARE(answer.why, "no answer from the router " + other + " (NAT-PMP or UPnP)");

    // The old gateway's announcement goes unheard; the new one's is heard.
    heard = 0;
    mRig->signal(SIGUSR1);
    QTest::qWait(kQuietMs);
    QCOMPARE(heard, 0);
    QString output;
    QVERIFY2(mRig->runOn(RouterNamespace::Side::Neighbour, "python3", {"-c", kForgedAnnouncement}, &output),
             qPrintable(output));
    QTRY_COMPARE_WITH_TIMEOUT(heard, 1, kHeardMs);
}

void tst_EndToEndRouter::noDefaultGateway()
{
    QVERIFY(networkNamespace::run("ip", {"route", "del", "default"}));
    QtRouter router;
    const IRouter::Answer answer = ask(router);
    QVERIFY(networkNamespace::run("ip", {"route", "add", "default", "via", kGateway}));
    QCOMPARE(answer.gateway, QString());
    QCOMPARE(answer.address, QString());
    QCOMPARE(answer.why, "no default gateway");
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
    tst_EndToEndRouter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_EndToEndRouter.moc"
