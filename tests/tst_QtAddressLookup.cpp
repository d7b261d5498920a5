// The lookup service's GET against a small HTTP server of the test's own on 127.0.0.1, which
// answers each path as scripted and keeps the requests it read.

#include "platform/qt/QtAddressLookup.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

constexpr std::chrono::milliseconds kShortTimeLimit{400};
constexpr int kWaitMs = 5000;

// Answers "GET /path" with what is scripted for the path; a path with nothing scripted gets no
// answer at all (the connection stays open).
class ScriptedServer : public QObject
{
public:
    ScriptedServer()
    {
        QVERIFY(mServer.listen(QHostAddress::LocalHost));
        connect(&mServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = mServer.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    QByteArray& received = mReceived[socket];
                    received += socket->readAll();
                    if (!received.contains("\r\n\r\n"))
                        return;
                    requests.append(received);
                    const QByteArray path = received.split(' ').value(1);
                    if (answers.contains(path))
                        socket->write(answers.value(path));
                });
            }
        });
    }
    QUrl url(const char* path) const
    {
        return QUrl(
            QStringLiteral("http://127.0.0.1:%1%2").arg(mServer.serverPort()).arg(QLatin1String(path)));
    }

    QHash<QByteArray, QByteArray> answers;
    QList<QByteArray> requests;

private:
    QTcpServer mServer;
    QHash<QTcpSocket*, QByteArray> mReceived;
};

QByteArray response(const QByteArray& statusLine, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + statusLine + "\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

class tst_QtAddressLookup : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void requestNamesTheProgram();
    void laterCallSupersedes();
    void noServer();
};

void tst_QtAddressLookup::replies_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<QString>("failure");
    QTest::newRow("plain text") << QByteArray("/plain") << 200 << QByteArray("11.22.33.44\n") << QByteArray()
                                << "";
    QTest::newRow("429 with Retry-After")
        << QByteArray("/busy") << 429 << QByteArray("slow down") << QByteArray("120") << "";
    QTest::newRow("4 KiB, all of it")
        << QByteArray("/limit") << 200 << QByteArray(4096, 'a') << QByteArray() << "";
    QTest::newRow("one byte past 4 KiB")
        << QByteArray("/past") << 200 << QByteArray(4097, 'b') << QByteArray() << "";
    QTest::newRow("1 MB, cut") << QByteArray("/huge") << 200 << QByteArray(4097, 'c') << QByteArray() << "";
    QTest::newRow("redirect in the scheme")
        << QByteArray("/moved") << 200 << QByteArray("11.22.33.45") << QByteArray() << "";
    QTest::newRow("redirect to another scheme refused")
        << QByteArray("/to-ftp") << 302 << QByteArray() << QByteArray() << "";
    QTest::newRow("no answer") << QByteArray("/silent") << 0 << QByteArray() << QByteArray()
                               << "no answer within 400 ms";
    QTest::newRow("a head and half a body, then silence")
        << QByteArray("/stalls") << 0 << QByteArray() << QByteArray() << "no answer within 400 ms";
}

void tst_QtAddressLookup::replies()
{
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, retryAfter);
    QFETCH(QString, failure);
    ScriptedServer server;
    server.answers = {
        {"/plain", response("200 OK", "Content-Type: text/plain\r\n", "11.22.33.44\n")},
        {"/busy", response("429 Too Many Requests", "Retry-After: 120\r\n", "slow down")},
        {"/limit", response("200 OK", "", QByteArray(4096, 'a'))},
        {"/past", response("200 OK", "", QByteArray(4097, 'b'))},
        {"/huge", response("200 OK", "", QByteArray(1024 * 1024, 'c'))},
        {"/moved", response("301 Moved Permanently", "Location: /plain2\r\n", "")},
        {"/plain2", response("200 OK", "", "11.22.33.45")},
        {"/to-ftp", response("302 Found", "Location: ftp://127.0.0.1/ip\r\n", "")},
        {"/stalls", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n11.22.3"},
    };
    QtAddressLookup lookup(kShortTimeLimit);
    std::optional<IAddressLookup::Reply> reply;
    int calls = 0;
    lookup.lookUp(server.url(path), [&](const IAddressLookup::Reply& r) {
        reply = r;
        ++calls;
    });
    QTRY_VERIFY_WITH_TIMEOUT(reply.has_value(), kWaitMs);
    QCOMPARE(reply->status, status);
    QCOMPARE(reply->body.size(), body.size());
    QCOMPARE(reply->body, body);
    QCOMPARE(reply->retryAfter, retryAfter);
    QCOMPARE(reply->failure, failure);
    QTest::qWait(int(kShortTimeLimit.count()) + 100); // the time limit ends nothing a second time
    QCOMPARE(calls, 1);
}

void tst_QtAddressLookup::requestNamesTheProgram()
{
    ScriptedServer server;
    server.answers = {{"/ip", response("200 OK", "", "11.22.33.44")}};
    QtAddressLookup lookup;
    bool done = false;
    lookup.lookUp(server.url("/ip"), [&](const IAddressLookup::Reply&) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, kWaitMs);
    QCOMPARE(server.requests.size(), 1);
    const QByteArray request = server.requests.first();
    QVERIFY2(request.startsWith("GET /ip HTTP/1.1\r\n"), request.constData());
    const QByteArray agent = "\r\nUser-Agent: " + QtAddressLookup::userAgent() + "\r\n";
    QVERIFY2(request.contains(agent), request.constData());
    QVERIFY(QRegularExpression(QStringLiteral("^corvane-dyndns/\\d+\\.\\d+\\.\\d+$"))
                .match(QString::fromLatin1(QtAddressLookup::userAgent()))
                .hasMatch());
}

void tst_QtAddressLookup::laterCallSupersedes()
{
    ScriptedServer server;
    server.answers = {{"/ip", response("200 OK", "", "11.22.33.44")}};
    QtAddressLookup lookup(kShortTimeLimit);
    int firstCalls = 0;
    std::optional<IAddressLookup::Reply> second;
    lookup.lookUp(server.url("/silent"), [&](const IAddressLookup::Reply&) { ++firstCalls; });
    lookup.lookUp(server.url("/ip"), [&](const IAddressLookup::Reply& r) { second = r; });
    QTRY_VERIFY_WITH_TIMEOUT(second.has_value(), kWaitMs);
    QCOMPARE(second->body, QByteArray("11.22.33.44"));
    QTest::qWait(int(kShortTimeLimit.count()) * 2);
    QCOMPARE(firstCalls, 0);
}

void tst_QtAddressLookup::noServer()
{
    // A port that was just free: nothing listens on it.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    QtAddressLookup lookup(kShortTimeLimit);
    std::optional<IAddressLookup::Reply> reply;
    lookup.lookUp(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(port)),
                  [&](const IAddressLookup::Reply& r) { reply = r; });
    QTRY_VERIFY_WITH_TIMEOUT(reply.has_value(), kWaitMs);
    QCOMPARE(reply->status, 0);
    QVERIFY2(reply->failure.contains(QLatin1String("refused")), qPrintable(reply->failure));
}

QTEST_GUILESS_MAIN(tst_QtAddressLookup)
#include "tst_QtAddressLookup.moc"
