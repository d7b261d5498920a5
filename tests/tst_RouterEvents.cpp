// The router's events at their own level: the subscription kept with a scripted router, and the
// callback's answers to what a router or anyone else sends it. Everything runs on the loopback
// device of a network namespace of the test's own (it runs itself again inside "unshare -n"), so
// no subscription can reach a real router.

#include "NetworkNamespace.h"
#include "platform/qt/GenaCallback.h"
#include "platform/qt/GenaSubscription.h"
#include "platform/router/Gena.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

constexpr int kWaitMs = 5000;
QString gUnavailable;

// A router's event service that answers each request with the next scripted answer and keeps
// the requests it read.
class ScriptedRouter : public QObject
{
public:
    ScriptedRouter()
    {
        QVERIFY(mServer.listen(QHostAddress::LocalHost));
        connect(&mServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = mServer.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    mReceived[socket] += socket->readAll();
                    if (!mReceived[socket].endsWith("\r\n\r\n"))
                        return;
                    requests.append(mReceived.take(socket));
                    if (!answers.isEmpty())
                        socket->write(answers.takeFirst());
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/evt/IPConn").arg(mServer.serverPort()));
    }

    QList<QByteArray> answers;
    QList<QByteArray> requests;

private:
    QTcpServer mServer;
    QHash<QTcpSocket*, QByteArray> mReceived;
};

QByteArray granted(const QByteArray& sid, int seconds)
{
    return "HTTP/1.1 200 OK\r\nSID: " + sid + "\r\nTIMEOUT: Second-" + QByteArray::number(seconds) +
           "\r\nContent-Length: 0\r\n\r\n";
}

QByteArray notification(const QByteArray& sid, const QByteArray& address)
{
    const QByteArray body = "<e:propertyset xmlns:e=\"urn:schemas-upnp-org:event-1-0\"><e:property>"
                            "<ExternalIPAddress>" +
                            address + "</ExternalIPAddress></e:property></e:propertyset>";
    return "NOTIFY / HTTP/1.1\r\nHOST: 127.0.0.1\r\nNT: upnp:event\r\nNTS: upnp:propchange\r\nSID: " + sid +
           "\r\nSEQ: 0\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Sends bytes to the callback and reads until it closes: what it answered.
QByteArray send(quint16 port, const QByteArray& bytes, int waitMs = kWaitMs)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(kWaitMs))
        return "(no connection)";
    client.write(bytes);
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (client.state() == QAbstractSocket::ConnectedState && waited.elapsed() < waitMs) {
        QTest::qWait(10);
        answer += client.readAll();
    }
    answer += client.readAll();
    if (client.state() == QAbstractSocket::ConnectedState)
        return answer + "(still open)";
    return answer;
}

} // namespace

class tst_RouterEvents : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void subscriptionIsRenewedMadeAnewAndCancelled();
    void callbackAnswers_data();
    void callbackAnswers();
    void callbackHoldsANotificationForTheSubscriptionsAnswer();
    void callbackTakesNoOneButTheGateway();
};

void tst_RouterEvents::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    QVERIFY(networkNamespace::run("ip", {"link", "set", "lo", "up"}));
}

void tst_RouterEvents::subscriptionIsRenewedMadeAnewAndCancelled()
{
    ScriptedRouter router;
    // Granted for 2 s: renewed after 1.5 s; the renewal is refused (the router restarted).
    router.answers = {granted("uuid:1", 2), "HTTP/1.1 412 Precondition Failed\r\n\r\n",
                      granted("uuid:2", 1800)};
    int subscribed = 0;
    auto subscription =
        std::make_unique<GenaSubscription>(router.url(), "http://127.0.0.1:4000/", [&] { ++subscribed; });
    QVERIFY(subscription->subscribing());
    QTRY_COMPARE_WITH_TIMEOUT(subscription->sid(), QByteArray("uuid:1"), kWaitMs);
    QCOMPARE(subscribed, 1);
    QVERIFY(!subscription->subscribing());
    QVERIFY(router.requests.at(0).startsWith("SUBSCRIBE /evt/IPConn HTTP/1.1\r\n"));
    QVERIFY(router.requests.at(0).contains("\r\nCALLBACK: <http://127.0.0.1:4000/>\r\n"));

    QTRY_COMPARE_WITH_TIMEOUT(subscription->sid(), QByteArray("uuid:2"), kWaitMs);
    QCOMPARE(subscribed, 2);
    QCOMPARE(router.requests.size(), 3);
    // The renewal names the subscription and no callback; the new subscription the callback.
    QVERIFY(router.requests.at(1).contains("\r\nSID: uuid:1\r\n"));
    QVERIFY(!router.requests.at(1).contains("CALLBACK"));
    QVERIFY(router.requests.at(2).contains("\r\nCALLBACK: <http://127.0.0.1:4000/>\r\n"));

    subscription.reset();
    QTRY_COMPARE_WITH_TIMEOUT(router.requests.size(), 4, kWaitMs);
    QVERIFY(router.requests.at(3).startsWith("UNSUBSCRIBE /evt/IPConn HTTP/1.1\r\n"));
    QVERIFY(router.requests.at(3).contains("\r\nSID: uuid:2\r\n"));
}

void tst_RouterEvents::callbackAnswers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status"); // the answer's status line, or "" for none
    QTest::addColumn<QString>("heard");     // "-" for nothing heard, "none" for no address named
    QTest::newRow("the subscription's")
        << notification("uuid:now", "11.22.33.45") << QByteArray("200 OK") << "11.22.33.45";
    QTest::newRow("the subscription's, about port mappings")
        << QByteArray("NOTIFY / HTTP/1.1\r\nNT: upnp:event\r\nNTS: upnp:propchange\r\nSID: uuid:now\r\n"
                      "Content-Length: 0\r\n\r\n")
        << QByteArray("200 OK") << "none";
    QTest::newRow("another subscription's")
        << notification("uuid:old", "6.6.6.6") << QByteArray("412 Precondition Failed") << "-";
    QTest::newRow("not a notification")
        << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("400 Bad Request") << "-";
    QTest::newRow("a head past the limit")
        << "NOTIFY / HTTP/1.1\r\nX: " + QByteArray(gena::kMaxHead, 'x') + "\r\n\r\n"
        << QByteArray("400 Bad Request") << "-";
    QTest::newRow("an unended head past the limit")
        << QByteArray(gena::kMaxHead + 1, 'x') << QByteArray("400 Bad Request") << "-";
    QTest::newRow("a body past the limit")
        << "NOTIFY / HTTP/1.1\r\nSID: uuid:now\r\nContent-Length: " + QByteArray::number(gena::kMaxBody + 1) +
               "\r\n\r\n"
        << QByteArray("400 Bad Request") << "-";
    // Half a request, then nothing: closed at the time limit with no answer.
    QTest::newRow("silence") << QByteArray("NOTIFY / HTTP/1.1\r\n") << QByteArray() << "-";
}

void tst_RouterEvents::callbackAnswers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QString, heard);
    QStringList heardAddresses;
    GenaCallback callback(
        QHostAddress::LocalHost, QHostAddress::LocalHost,
        [](const QByteArray& sid) {
            return sid == "uuid:now" ? GenaCallback::Verdict::Accept : GenaCallback::Verdict::Refuse;
        },
        [&](const std::optional<QString>& address) { heardAddresses.append(address.value_or("none")); });
    QCOMPARE(callback.problem(), QString());
    QVERIFY(callback.url().startsWith("http://127.0.0.1:"));
    const quint16 port = QUrl(QString::fromLatin1(callback.url())).port();
    const QByteArray answer = send(port, request, GenaCallback::kTimeLimitMs + 2000);
    if (status.isEmpty())
        QCOMPARE(answer, QByteArray());
    else
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status + "\r\n"), answer.constData());
    QCOMPARE(heardAddresses, heard == "-" ? QStringList() : QStringList{heard});
}

// The router may send the subscription's first event before its answer to the subscription
// has been read: the notification waits for it.
void tst_RouterEvents::callbackHoldsANotificationForTheSubscriptionsAnswer()
{
    QByteArray sid;
    QStringList heardAddresses;
    GenaCallback callback(
        QHostAddress::LocalHost, QHostAddress::LocalHost,
        [&](const QByteArray& given) {
            if (sid.isEmpty())
                return GenaCallback::Verdict::Wait;
            return given == sid ? GenaCallback::Verdict::Accept : GenaCallback::Verdict::Refuse;
        },
        [&](const std::optional<QString>& address) { heardAddresses.append(address.value_or("none")); });
    const quint16 port = QUrl(QString::fromLatin1(callback.url())).port();
    QTimer::singleShot(300, this, [&] {
        QVERIFY(heardAddresses.isEmpty());
        sid = "uuid:new";
        callback.judgeWaiting();
    });
    const QByteArray answer = send(port, notification("uuid:new", "11.22.33.46"));
    QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());
    QCOMPARE(heardAddresses, QStringList{"11.22.33.46"});
}

void tst_RouterEvents::callbackTakesNoOneButTheGateway()
{
    int judged = 0;
    int heard = 0;
    GenaCallback callback(
        QHostAddress::LocalHost, QHostAddress(QStringLiteral("127.0.0.2")),
        [&](const QByteArray&) {
            ++judged;
            return GenaCallback::Verdict::Accept;
        },
        [&](const std::optional<QString>&) { ++heard; });
    const quint16 port = QUrl(QString::fromLatin1(callback.url())).port();
    QCOMPARE(send(port, notification("uuid:now", "6.6.6.6")), QByteArray());
    QCOMPARE(judged, 0);
    QCOMPARE(heard, 0);
}

// Outside a namespace the test runs itself again inside one, as root may.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        gUnavailable = networkNamespace::unavailable({"ip"}, {"-n"});
        if (gUnavailable.isEmpty())
            return networkNamespace::runInside({"-n"});
    }
    tst_RouterEvents test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_RouterEvents.moc"
