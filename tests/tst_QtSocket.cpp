// The socket service over real TCP on the loopback: what its listener may rely on.

#include "platform/Failure.h"
#include "platform/qt/QtSocket.h"

#include "OneShotServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Records every event; can run a nested event loop inside a handler, as an error report does.
struct Recorder : ISocketListener
{
    void socketConnected() override { record(QStringLiteral("connect")); }
    void socketDataArrival(qint64) override
    {
        record(QStringLiteral("data"));
        if (socket)
            received += socket->getData(1 << 20);
    }
    void socketError(int, const QString& description) override
    {
        record(QStringLiteral("error ") + description);
    }
    void socketClosed() override { record(QStringLiteral("close")); }

    void record(const QString& event)
    {
        events.append(event);
        ++depth;
        maxDepth = qMax(maxDepth, depth);
        if (onEvent)
            onEvent(event);
        --depth;
    }

    QStringList events;
    QString received;
    ISocket* socket = nullptr;
    std::function<void(const QString&)> onEvent;
    int depth = 0;
    int maxDepth = 0;
};

} // namespace

class tst_QtSocket : public QObject
{
    Q_OBJECT
private slots:
    void badPortArrivesAsAnErrorEvent_data();
    void badPortArrivesAsAnErrorEvent();
    void nothingArrivesAfterClose();
    void eventsComeOneAtATimeAndInOrder();
    void nothingIsSentToAPeerThatClosed();
    void eachAddressIsTriedInTurn();
    void anAddressIsConnectedToAsItStands_data();
    void anAddressIsConnectedToAsItStands();
};

void tst_QtSocket::badPortArrivesAsAnErrorEvent_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -1;
    QTest::newRow("too large") << 65536;
}

void tst_QtSocket::badPortArrivesAsAnErrorEvent()
{
    QFETCH(int, port);
    QtSocket socket;
    Recorder listener;
    socket.setListener(&listener);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(listener.events.isEmpty()); // never inside the request
    QTRY_COMPARE(listener.events.size(), 1);
    QVERIFY(listener.events.first().startsWith(QStringLiteral("error ")));
    QVERIFY_THROWS_EXCEPTION(Failure, socket.connectToHost(QStringLiteral("127.0.0.1"), 1)); // not closed yet
}

void tst_QtSocket::nothingArrivesAfterClose()
{
    OneShotServer server("OK hello\r\n");
    QtSocket socket;
    Recorder listener;
    socket.setListener(&listener);
    listener.onEvent = [&](const QString& event) {
        if (event == QLatin1String("connect"))
            socket.close();
    };
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.server.serverPort());
    QTRY_COMPARE(listener.events, QStringList{"connect"});
    QTest::qWait(200); // the data and the server's close have come and gone meanwhile
    QCOMPARE(listener.events, QStringList{"connect"});
}

// A handler that runs an event loop of its own (an error report) is never entered again, and
// the events that came meanwhile follow in order once it returns.
void tst_QtSocket::eventsComeOneAtATimeAndInOrder()
{
    OneShotServer server("OK one\r\nOK two\r\nOK unterminated");
    QtSocket socket;
    Recorder listener;
    listener.socket = &socket;
    socket.setListener(&listener);
    listener.onEvent = [](const QString& event) {
        if (event == QLatin1String("connect"))
            QTest::qWait(300);
    };
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.server.serverPort());
    QTRY_VERIFY(listener.events.contains(QStringLiteral("close")));
    QCOMPARE(listener.maxDepth, 1);
    QCOMPARE(listener.events.first(), QStringLiteral("connect"));
    QCOMPARE(listener.events.last(), QStringLiteral("close"));
    QCOMPARE(listener.received, QStringLiteral("OK one\r\nOK two\r\nOK unterminated"));
}

void tst_QtSocket::nothingIsSentToAPeerThatClosed()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QByteArray heard;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        connect(peer, &QTcpSocket::readyRead, peer, [peer, &heard] { heard += peer->readAll(); });
        peer->disconnectFromHost();
    });
    QtSocket socket;
    Recorder listener;
    socket.setListener(&listener);
    listener.onEvent = [&](const QString& event) {
        if (event == QLatin1String("close"))
            socket.sendData(QStringLiteral("VER x\n")); // does not throw, goes nowhere
    };
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.serverPort());
    QTRY_COMPARE(listener.events, (QStringList{"connect", "close"}));
    QTest::qWait(100);
    QVERIFY(heard.isEmpty());
}

// A server name with several addresses: one that refuses is passed over for the next.
void tst_QtSocket::eachAddressIsTriedInTurn()
{
    OneShotServer server("OK v6\r\n", QHostAddress::LocalHostIPv6);
    const quint16 port = server.server.serverPort();
    QTcpServer probe; // nothing listens on that port over IPv4
    if (!probe.listen(QHostAddress::LocalHost, port))
        QSKIP("the IPv4 port is taken; skipping");
    probe.close();

    QtSocket socket([](const QString&, QObject* context, QtSocket::Resolved resolved) {
        QTimer::singleShot(0, context, [resolved] {
            resolved({QHostAddress::LocalHost, QHostAddress::LocalHostIPv6}, QString());
        });
    });
    Recorder listener;
    listener.socket = &socket;
    socket.setListener(&listener);
    socket.connectToHost(QStringLiteral("several.example"), port);
    QTRY_COMPARE(listener.events, (QStringList{"connect", "data", "close"}));
    QCOMPARE(listener.received, QStringLiteral("OK v6\r\n"));
}

void tst_QtSocket::anAddressIsConnectedToAsItStands_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("lookups");
    QTest::newRow("IPv4 address") << "127.0.0.1" << 0;
    QTest::newRow("IPv6 address") << "::1" << 0;
    QTest::newRow("a name") << "loopback.example" << 1;
}

// A lookup of an address asks the name server for its name: an update waited for a name server
// that did not answer.
void tst_QtSocket::anAddressIsConnectedToAsItStands()
{
    QFETCH(QString, server);
    QFETCH(int, lookups);
    const bool v6 = server == QLatin1String("::1");
    OneShotServer peer("OK\r\n", v6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    int asked = 0;
    QtSocket socket([&asked](const QString&, QObject* context, QtSocket::Resolved resolved) {
        ++asked;
        QTimer::singleShot(0, context, [resolved] { resolved({QHostAddress::LocalHost}, QString()); });
    });
    Recorder listener;
    socket.setListener(&listener);
    socket.connectToHost(server, peer.server.serverPort());
    QVERIFY(listener.events.isEmpty()); // never inside the request
    QTRY_VERIFY(!listener.events.isEmpty());
    QCOMPARE(listener.events.first(), QStringLiteral("connect"));
    QCOMPARE(asked, lookups);
}

QTEST_GUILESS_MAIN(tst_QtSocket)
#include "tst_QtSocket.moc"
