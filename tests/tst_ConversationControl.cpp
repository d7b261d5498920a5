#include "LoadedWindow.h"
#include "WindowPart.h"
#include "session/UpdateSession.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QAction>
#include <QtTest>

namespace {

std::unique_ptr<FakePlatform> platformFor(const QString& server, const QString& port)
{
    auto platform = std::make_unique<FakePlatform>();
    platform->storeSetting(QStringLiteral("Server"), server);
    platform->storeSetting(QStringLiteral("Port"), port);
    platform->storeSetting(QStringLiteral("SubDomain"), QStringLiteral("h"));
    return platform;
}

} // namespace

class tst_ConversationControl : public QObject
{
    Q_OBJECT
private slots:
    void connectingLineNamesServerAndPort();
    void refusedConnectionEndsTheConversation();
    void serverCloseWithoutByeEndsAsAnError();
    void byeFollowedByTheServersCloseEndsOnce();
    void heldTailIsHandledWhenTheServerCloses_data();
    void heldTailIsHandledWhenTheServerCloses();
    void okWithoutLineEndBeforeTheCloseSendsNothing();
    void noTimerRunsWhileAReportIsOpen();
    void slowDripIsCutOffByTheConversationLimit();
    void connectionThatNeverOpensTimesOut();
    void silentServerTimesOut_data();
    void silentServerTimesOut();
    void overlongLineEndsTheConversation_data();
    void overlongLineEndsTheConversation();
    void monitorStartDuringAConversationWaitsForItsEnd();
    void monitorStartWhenIdleStartsAtOnce();
    void passwordFromTheKeyringComesBeforeAnythingIsSent_data();
    void passwordFromTheKeyringComesBeforeAnythingIsSent();
};

void tst_ConversationControl::connectingLineNamesServerAndPort()
{
    LoadedWindow w(platformFor(QStringLiteral("S"), QStringLiteral("2345")));
    part(*w.window, "mnuFileUpdateIP")->trigger();
    const QString line =
        part<QPlainTextEdit>(*w.window, "txtLog")->toPlainText().split(QLatin1Char('\n')).first();
    QVERIFY2(line.endsWith(QStringLiteral(" - Connecting to S:2345...")), qPrintable(line));
    QVERIFY(!line.startsWith(QLatin1Char(' ')));
}

void tst_ConversationControl::refusedConnectionEndsTheConversation()
{
    LoadedWindow w(platformFor(QStringLiteral("10.0.0.1"), QStringLiteral("7")));
    part(*w.window, "mnuContextUpdateIP")->trigger();
    QVERIFY(w.startCommandsDisabled());
    w.platform->socket.raiseError(10061, QStringLiteral("Connection refused"));
    QCOMPARE(w.messages(), (QStringList{" - Connecting to 10.0.0.1:7...", " - Error: Connection refused.",
                                        " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QCOMPARE(w.tips(), (QStringList{"Corvane DynDNS - Updating IP", "Corvane DynDNS"}));
    QCOMPARE(w.platform->socket.closeCalls, 1);
    QVERIFY(!w.window->session().conversation().isRunning());
}

void tst_ConversationControl::serverCloseWithoutByeEndsAsAnError()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileGoOffline")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\n");
    socket.raiseClose();
    QCOMPARE(w.messages().mid(4),
             (QStringList{" - Error: The remote host closed the connection.", " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QCOMPARE(w.tips().last(), QStringLiteral("Corvane DynDNS"));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
    QCOMPARE(socket.closeCalls, 1);
}

void tst_ConversationControl::byeFollowedByTheServersCloseEndsOnce()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nBYE\r\n");
    socket.raiseClose(); // the socket is already closed: the close never arrives
    QCOMPARE(w.messages().count(QStringLiteral(" - Disconnected.")), 1);
    QVERIFY(!w.messages().join(QLatin1Char('|')).contains(QStringLiteral("Error")));
}

void tst_ConversationControl::heldTailIsHandledWhenTheServerCloses_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("last");
    QTest::newRow("BYE") << QByteArray("BY") << QByteArray("E  ")
                         << QStringList{" - Error: last words.", " - Disconnected."};
    QTest::newRow("ERR") << QByteArray("ER") << QByteArray("R final  ")
                         << QStringList{" - Error: last words.", " - Error: final.",
                                        " - Error: The remote host closed the connection.",
                                        " - Disconnected."};
}

void tst_ConversationControl::heldTailIsHandledWhenTheServerCloses()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QStringList, last);
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nERR last words\r\n" + first);
    socket.raiseData(second);
    socket.raiseClose();
    QCOMPARE(w.messages().mid(4), last);
    QVERIFY(w.startCommandsEnabled());
}

void tst_ConversationControl::okWithoutLineEndBeforeTheCloseSendsNothing()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK unterminated");
    socket.raiseClose();
    QVERIFY(socket.sent.isEmpty());
    QCOMPARE(w.messages().mid(1),
             (QStringList{" - Connected.", " - Error: The remote host closed the connection.",
                          " - Disconnected."}));
    QVERIFY(w.platform->windowing.reports.isEmpty());
    QVERIFY(!w.window->session().control().timersRunning());
}

// While an error report is open nothing may end the conversation under it; once the report
// is closed the time-outs count again.
void tst_ConversationControl::noTimerRunsWhileAReportIsOpen()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    ConversationControl& control = w.window->session().control();
    QList<bool> runningAtReport;
    w.platform->windowing.onReport = [&](const QString&) { runningAtReport.append(control.timersRunning()); };
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.failSends = true;
    socket.raiseData("OK\r\n");
    QCOMPARE(runningAtReport, QList<bool>{false});
    QVERIFY(control.timersRunning());
    QVERIFY(w.window->session().conversation().isRunning());
}

void tst_ConversationControl::slowDripIsCutOffByTheConversationLimit()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    w.window->session().control().setTimeout(200);
    w.window->session().control().setLimit(400);
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    QTimer drip;
    connect(&drip, &QTimer::timeout, this, [&socket] { socket.raiseData("O"); });
    drip.start(50);
    QTRY_VERIFY(w.startCommandsEnabled());
    QCOMPARE(w.messages().mid(2),
             (QStringList{" - Error: The conversation took longer than 0.4 seconds.", " - Disconnected."}));
}

void tst_ConversationControl::connectionThatNeverOpensTimesOut()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    w.window->session().control().setTimeout(50);
    part(*w.window, "mnuFileUpdateIP")->trigger();
    QTRY_VERIFY(w.startCommandsEnabled());
    QCOMPARE(w.messages().mid(1),
             (QStringList{" - Error: The connection did not open within 0.05 seconds.", " - Disconnected."}));
    QCOMPARE(w.platform->socket.closeCalls, 1);
    QCOMPARE(w.tips().last(), QStringLiteral("Corvane DynDNS"));
}

void tst_ConversationControl::silentServerTimesOut_data()
{
    QTest::addColumn<QByteArray>("sent"); // four times, then nothing
    QTest::addColumn<QString>("error");
    const QString silence = QStringLiteral("The server sent nothing for 0.1 seconds");
    QTest::newRow("replies") << QByteArray("ERR still here\r\n") << silence;
    QTest::newRow("a reply after a line that is not one") << QByteArray("junk\r\nERR x\r\n") << silence;
    QTest::newRow("lines that are not replies") << QByteArray("junk\r\n\x1b[2Jmore\r\n")
                                                << "The server sent 8 lines that are not replies, the last "
                                                   "\"\\x1b[2Jmore\", then nothing for 0.1 seconds";
    QTest::newRow("a line that is not one, cut")
        << QByteArray(81, 'x') + "\r\n"
        << "The server sent 4 lines that are not replies, the last \"" + QString(80, 'x') +
               "\u2026\", then nothing for 0.1 seconds";
    QTest::newRow("a line it never ends") << QByteArray("HEL")
                                          << "The server sent the start of a line it never ended, "
                                             "\"HELHELHELHEL\", then nothing for 0.1 seconds";
}

// Text that is not a reply is no silence: what came is said.
void tst_ConversationControl::silentServerTimesOut()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, error);
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    w.window->session().control().setTimeout(100);
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    // What keeps coming keeps the conversation alive.
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(60);
        socket.raiseData(sent);
    }
    QVERIFY(w.startCommandsDisabled());
    QTRY_VERIFY(w.startCommandsEnabled());
    QCOMPARE(w.messages().mid(w.messages().size() - 2),
             (QStringList{" - Error: " + error + ".", " - Disconnected."}));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
}

void tst_ConversationControl::overlongLineEndsTheConversation_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("ended");
    QTest::newRow("held at the limit") << QByteArray() << false;
    QTest::newRow("held past the limit") << QByteArray("A") << true;
    QTest::newRow("line at the limit") << QByteArray("\r\n") << false;
    QTest::newRow("line past the limit") << QByteArray("A\r\n") << true;
}

void tst_ConversationControl::overlongLineEndsTheConversation()
{
    QFETCH(QByteArray, end);
    QFETCH(bool, ended);
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    const QByteArray chunk(16 * 1024, 'A');
    for (int i = 0; i < 4; ++i)
        socket.raiseData(chunk);
    socket.raiseData(end);
    QCOMPARE(!w.window->session().conversation().isRunning(), ended);
    if (ended)
        QCOMPARE(w.messages().mid(2),
                 (QStringList{" - Error: The server sent a line longer than 65536 characters.",
                              " - Disconnected."}));
    QVERIFY(w.platform->windowing.reports.isEmpty());
}

void tst_ConversationControl::monitorStartDuringAConversationWaitsForItsEnd()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileGoOffline")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\n");

    w.window->requestUpdate();
    w.window->requestUpdate(); // at most one waits
    QCOMPARE(w.window->session().conversation().operation(), Operation::Offline);
    QCOMPARE(socket.connectRequests, 1);
    QVERIFY(w.platform->windowing.reports.isEmpty());
    QCOMPARE(w.messages().count(QStringLiteral(" - Connecting to s:1...")), 1);

    socket.raiseData("OK\r\nOK\r\nOK\r\nOK\r\n");
    QVERIFY(socket.sent.contains("OPER delete\n"));
    socket.raiseData("BYE\r\n");
    QTRY_COMPARE(socket.connectRequests, 2);
    QCOMPARE(w.window->session().conversation().operation(), Operation::Update);
    QCOMPARE(w.messages().count(QStringLiteral(" - Connecting to s:1...")), 2);
    QTest::qWait(20);
    QCOMPARE(socket.connectRequests, 2);
}

void tst_ConversationControl::monitorStartWhenIdleStartsAtOnce()
{
    LoadedWindow w(platformFor(QStringLiteral("s"), QStringLiteral("1")));
    w.window->requestUpdate();
    QCOMPARE(w.platform->socket.connectRequests, 1);
    QCOMPARE(w.window->session().conversation().operation(), Operation::Update);
    QVERIFY(!w.window->session().updateWaiting());
}

void tst_ConversationControl::passwordFromTheKeyringComesBeforeAnythingIsSent_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happens while the keyring is asked
    QTest::addColumn<int>("connects");
    QTest::addColumn<QString>("report");
    QTest::newRow("answered") << "" << 1 << "";
    QTest::newRow("locked")
        << "locked" << 0 << ":mnuFileUpdateIP_Click\r\n\r\nError Number 40100:\r\nThe keyring stays locked";
    QTest::newRow("a second start") << "start" << 1 << "";
    QTest::newRow("the monitor's start, which waits") << "monitor" << 1 << "";
    QTest::newRow("the program ends") << "end" << 0 << "";
    QTest::newRow("the program ends, the keyring locked") << "end, locked" << 0 << "";
}

void tst_ConversationControl::passwordFromTheKeyringComesBeforeAnythingIsSent()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, connects);
    QFETCH(QString, report);
    auto platform = platformFor(QStringLiteral("s"), QStringLiteral("1"));
    platform->storeSetting(QStringLiteral("PasswordStore"), QStringLiteral("keyring"));
    platform->secrets.secrets.insert(QStringLiteral("@h.dyn.brevant.example"), QStringLiteral("pw"));
    platform->secrets.locked = meanwhile.endsWith(QLatin1String("locked"));
    LoadedWindow w(std::move(platform));
    w.platform->secrets.during = [&] {
        w.platform->secrets.during = {};
        if (meanwhile == QLatin1String("start"))
            part(*w.window, "mnuContextUpdateIP")->trigger();
        else if (meanwhile == QLatin1String("monitor"))
            w.window->requestUpdate();
        else if (meanwhile.startsWith(QLatin1String("end")))
            w.platform->windowing.requestEnd();
    };
    part(*w.window, "mnuFileUpdateIP")->trigger();
    QCOMPARE(w.platform->socket.connectRequests, connects);
    QCOMPARE(w.window->session().updateWaiting(), meanwhile == QLatin1String("monitor"));
    QCOMPARE(w.platform->windowing.reports,
             report.isEmpty() ? QStringList() : QStringList{"An error occured in FakeSecretStore" + report});
    if (connects == 0)
        return;
    w.platform->socket.raiseConnect();
    w.platform->socket.raiseData("OK\r\nOK\r\nOK\r\n");
    QVERIFY2(w.platform->socket.sent.endsWith("\nPASS pw\n"), w.platform->socket.sent.constData());
}

QTEST_MAIN(tst_ConversationControl)
#include "tst_ConversationControl.moc"
