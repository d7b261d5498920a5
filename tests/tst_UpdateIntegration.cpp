// The real client code, over a real TCP socket, against the reference update server on
// 127.0.0.1.

#include "FakePlatform.h"
#include "UpdateServer.h"
#include "WindowPart.h"
#include "platform/qt/QtSocket.h"
#include "session/UpdateSession.h"
#include "settings/CSettings.h"
#include "ui/frmMain.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include "OneShotServer.h"
#include <QAction>
#include <QPlainTextEdit>
#include <QSignalSpy>

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

struct Client
{
    explicit Client(quint16 port, const QString& password = QStringLiteral("pw"))
    {
        platform.storeSetting(QStringLiteral("Server"), QStringLiteral("127.0.0.1"));
        platform.storeSetting(QStringLiteral("Port"), QString::number(port));
        platform.storeSetting(QStringLiteral("Username"), QStringLiteral("alice"));
        platform.storeSetting(QStringLiteral("Password"), password);
        platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("home"));
        window = std::make_unique<frmMain>(
            PlatformServices{socket, platform.store, platform.dialup, platform.notifyIcon, platform.shell,
                             platform.windowing, platform.secrets, platform.clock});
        window->load();
    }
    ~Client()
    {
        window.reset();
        gSettings.discard();
    }

    QStringList messages() const
    {
        QStringList result;
        for (const QString& line : part<QPlainTextEdit>(*window, "txtLog")
                                       ->toPlainText()
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            result.append(line.mid(line.indexOf(QStringLiteral(" - "))));
        return result;
    }
    bool idle() const { return !window->session().conversation().isRunning(); }

    FakePlatform platform;
    QtSocket socket;
    std::unique_ptr<frmMain> window;
};

} // namespace

class tst_UpdateIntegration : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void updatePutsExactlyTheDocumentedLinesOnTheWire();
    void goOfflineRunsItsOwnConversation();
    void wrongPasswordIsLoggedAndTheConversationEnds();
    void refusedConnection();
    void serverThatClosesMidConversation();
    void silentServerTimesOut();
    void unknownHostName();
    void lineSentJustBeforeTheCloseReachesTheServer();
    void closeAfterAnOkWithoutLineEndEndsOnce();

private:
    std::unique_ptr<UpdateServer> mServer;
};

void tst_UpdateIntegration::init()
{
    mServer = std::make_unique<UpdateServer>();
    mServer->addAccount(
        {QStringLiteral("alice"), QStringLiteral("pw"), {QStringLiteral("home.dyn.brevant.example")}});
    mServer->setGreeting(QStringLiteral("test server ready"));
    QVERIFY(mServer->listen(QHostAddress::LocalHost, 0));
}

void tst_UpdateIntegration::updatePutsExactlyTheDocumentedLinesOnTheWire()
{
    Client client(mServer->port());
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QVERIFY(!part(*client.window, "mnuFileUpdateIP")->isEnabled());
    QVERIFY(!part(*client.window, "mnuContextGoOffline")->isEnabled());
    QTRY_VERIFY(client.idle());
    QTRY_COMPARE(mServer->conversationsEnded(), 1);

    QCOMPARE(mServer->received(),
             QByteArray("VER 1.0 [Corvane DynDNS v1.9]\nUSER alice\nPASS pw\n"
                        "HOST home.dyn.brevant.example\nOPER update\nIP 127.0.0.1\nDONE\n"));
    QCOMPARE(client.messages(),
             (QStringList{QStringLiteral(" - Connecting to 127.0.0.1:%1...").arg(mServer->port()),
                          " - Connected.", " - Server: test server ready", " - Logging In...",
                          " - Sending new host IP (127.0.0.1)...", " - home.dyn.brevant.example updated.",
                          " - Disconnected."}));
    QCOMPARE(mServer->accepted().size(), 1);
    QCOMPARE(mServer->accepted().first().address, QStringLiteral("127.0.0.1"));
    QVERIFY(part(*client.window, "mnuFileUpdateIP")->isEnabled());
    QVERIFY(client.platform.windowing.reports.isEmpty());

    QStringList tips;
    for (const auto& request : client.platform.notifyIcon.requests)
        tips.append(QString::fromLatin1(request.data.szTip.data()).trimmed());
    QCOMPARE(tips, (QStringList{"Corvane DynDNS - Updating IP", "Corvane DynDNS"}));
}

void tst_UpdateIntegration::goOfflineRunsItsOwnConversation()
{
    Client client(mServer->port());
    part(*client.window, "mnuFileGoOffline")->trigger();
    QTRY_VERIFY(client.idle());
    QTRY_COMPARE(mServer->conversationsEnded(), 1);
    QCOMPARE(mServer->received(), QByteArray("VER 1.0 [Corvane DynDNS v1.9]\nUSER alice\nPASS pw\n"
                                             "HOST home.dyn.brevant.example\nOPER delete\nDONE\n"));
    QCOMPARE(client.messages().mid(1),
             (QStringList{" - Connected.", " - Server: test server ready", " - Logging In...",
                          " - Sending host offline...", " - home.dyn.brevant.example offline.",
                          " - Disconnected."}));
    QCOMPARE(mServer->accepted().first().operation, QStringLiteral("delete"));

    // The socket connects again for the next conversation.
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QTRY_COMPARE(mServer->accepted().size(), 2);
}

void tst_UpdateIntegration::wrongPasswordIsLoggedAndTheConversationEnds()
{
    Client client(mServer->port(), QStringLiteral("wrong"));
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QCOMPARE(client.messages().mid(4),
             (QStringList{" - Error: Wrong user name or password.", " - Disconnected."}));
    QVERIFY(mServer->accepted().isEmpty());
}

void tst_UpdateIntegration::refusedConnection()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();

    Client client(closedPort);
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    const QStringList messages = client.messages();
    QCOMPARE(messages.size(), 3);
    QVERIFY2(messages[1].startsWith(QStringLiteral(" - Error: ")) &&
                 messages[1].contains(QStringLiteral("refused")),
             qPrintable(messages[1]));
    QCOMPARE(messages[2], QStringLiteral(" - Disconnected."));
    QVERIFY(!messages.contains(QStringLiteral(" - Connected.")));
    QVERIFY(part(*client.window, "mnuFileUpdateIP")->isEnabled());
}

void tst_UpdateIntegration::serverThatClosesMidConversation()
{
    QTcpServer rude;
    QVERIFY(rude.listen(QHostAddress::LocalHost, 0));
    connect(&rude, &QTcpServer::newConnection, this, [&rude] {
        QTcpSocket* peer = rude.nextPendingConnection();
        peer->write("OK hello\r\n");
        connect(peer, &QTcpSocket::readyRead, peer, [peer] {
            peer->readAll();
            peer->disconnectFromHost();
        });
    });

    Client client(rude.serverPort());
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QCOMPARE(client.messages().mid(4),
             (QStringList{" - Error: The remote host closed the connection.", " - Disconnected."}));
    QCOMPARE(client.window->session().conversation().ConversationStep(), 0);
    QVERIFY(part(*client.window, "mnuFileUpdateIP")->isEnabled());
}

void tst_UpdateIntegration::silentServerTimesOut()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    Client client(silent.serverPort());
    client.window->session().control().setTimeout(300);
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QCOMPARE(client.messages().mid(1),
             (QStringList{" - Connected.", " - Error: The server sent nothing for 0.3 seconds.",
                          " - Disconnected."}));
}

void tst_UpdateIntegration::unknownHostName()
{
    Client client(mServer->port());
    client.platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("ignored"));
    gSettings->setSubDomain(QStringLiteral("other"));
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QCOMPARE(client.messages().mid(5),
             (QStringList{" - Error: Unknown host other.dyn.brevant.example.", " - Disconnected."}));
}

void tst_UpdateIntegration::lineSentJustBeforeTheCloseReachesTheServer()
{
    // A terse server: "OK" for every line, and after the address "OK" and "BYE" at once.
    QTcpServer terse;
    QVERIFY(terse.listen(QHostAddress::LocalHost, 0));
    QByteArray heard;
    connect(&terse, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* peer = terse.nextPendingConnection();
        peer->write("OK\r\n");
        connect(peer, &QTcpSocket::readyRead, peer, [peer, &heard] {
            const QByteArray bytes = peer->readAll();
            heard += bytes;
            peer->write(bytes.startsWith("IP ") ? "OK\r\nBYE\r\n" : "OK\r\n");
        });
    });

    Client client(terse.serverPort());
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QCOMPARE(client.messages().last(), QStringLiteral(" - Disconnected."));
    QTRY_VERIFY(heard.endsWith("IP 127.0.0.1\nDONE\n"));
}

// A server that says "OK" without a line end and hangs up. Any error report is left open for
// longer than the time-out, as a user away from the desk would.
void tst_UpdateIntegration::closeAfterAnOkWithoutLineEndEndsOnce()
{
    OneShotServer rude("OK unterminated");
    Client client(rude.server.serverPort());
    client.window->session().control().setTimeout(100);
    client.platform.windowing.onReport = [](const QString&) { QTest::qWait(400); };
    part(*client.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(client.idle());
    QTest::qWait(300);
    QCOMPARE(client.messages().mid(1),
             (QStringList{" - Connected.", " - Error: The remote host closed the connection.",
                          " - Disconnected."}));
    QVERIFY(client.platform.windowing.reports.isEmpty());
    QVERIFY(part(*client.window, "mnuFileUpdateIP")->isEnabled());
}

QTEST_MAIN(tst_UpdateIntegration)
#include "tst_UpdateIntegration.moc"
