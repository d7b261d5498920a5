#include "LoadedWindow.h"
#include "WindowPart.h"
#include "session/UpdateSession.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QAction>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

std::unique_ptr<FakePlatform> platformWith(const QString& commandLine = QString())
{
    auto platform = std::make_unique<FakePlatform>();
    platform->storeSetting(QStringLiteral("Username"), QStringLiteral("alice"));
    platform->storeSetting(QStringLiteral("Password"), QStringLiteral("s3cret pw"));
    platform->storeSetting(QStringLiteral("SubDomain"), QStringLiteral("myhost"));
    platform->storeSetting(QStringLiteral("Server"), QStringLiteral("upd.example"));
    platform->windowing.commandLineText = commandLine;
    return platform;
}

const QByteArray kUpdateLines = "VER 1.0 [Corvane DynDNS v1.9]\nUSER alice\nPASS s3cret pw\n"
                                "HOST myhost.dyn.brevant.example\nOPER update\nIP 192.0.2.10\nDONE\n";

} // namespace

class tst_UpdateConversation : public QObject
{
    Q_OBJECT
private slots:
    void wholeUpdateConversation();
    void wholeOfflineConversation();
    void repliesInOneBlockAreHandledInOrder();
    void replyWordsInAnyCaseAndLookAlikesIgnored();
    void errKeepsTheStepAndALaterOkGoesOn();
    void extraOkAfterTheLastStepDoesNothing();
    void byeInMidConversationEndsIt();
    void bareGreetingAndOtherAddress();
    void splitReplyIsHandledOnceComplete();
    void blankLineIsSkippedAndTheRestHandled();
    void linesAfterByeAreDropped();
    void nextConversationStartsAfresh();
    void repliesWithoutProgressEndTheConversation_data();
    void repliesWithoutProgressEndTheConversation();
    void valueWithALineBreakIsNeverSent_data();
    void valueWithALineBreakIsNeverSent();
    void closeSwitchEndsTheProgramAfterBye_data();
    void closeSwitchEndsTheProgramAfterBye();
    void failedSendIsReportedAndNotRepeated();
};

void tst_UpdateConversation::wholeUpdateConversation()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    QCOMPARE(socket.connectedHost, QStringLiteral("upd.example"));
    QCOMPARE(socket.connectedPort, 2345);
    QVERIFY(w.startCommandsDisabled());
    QCOMPARE(w.tips(), QStringList{"Corvane DynDNS - Updating IP"});

    socket.raiseConnect();
    for (int i = 0; i < 7; ++i)
        socket.raiseData(i == 0 ? QByteArray("OK Welcome here\r\n") : QByteArray("OK\r\n"));
    QCOMPARE(socket.sent, kUpdateLines);
    QVERIFY(w.startCommandsDisabled());
    socket.raiseData("BYE see you\r\n");

    QCOMPARE(w.messages(),
             (QStringList{" - Connecting to upd.example:2345...", " - Connected.", " - Server: Welcome here",
                          " - Logging In...", " - Sending new host IP (192.0.2.10)...",
                          " - myhost.dyn.brevant.example updated.", " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QCOMPARE(w.tips(), (QStringList{"Corvane DynDNS - Updating IP", "Corvane DynDNS"}));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
    QCOMPARE(socket.closeCalls, 1);
    QVERIFY(w.platform->windowing.reports.isEmpty());
}

void tst_UpdateConversation::wholeOfflineConversation()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuContextGoOffline")->trigger();
    QCOMPARE(w.tips(), QStringList{"Corvane DynDNS - Going Offline"});
    socket.raiseConnect();
    for (int i = 0; i < 6; ++i)
        socket.raiseData("OK\r\n");
    QCOMPARE(socket.sent, QByteArray("VER 1.0 [Corvane DynDNS v1.9]\nUSER alice\nPASS s3cret pw\n"
                                     "HOST myhost.dyn.brevant.example\nOPER delete\nDONE\n"));
    socket.raiseData("OK\r\nBYE\r\n");
    QCOMPARE(w.messages(), (QStringList{" - Connecting to upd.example:2345...", " - Connected.",
                                        " - Server: ", " - Logging In...", " - Sending host offline...",
                                        " - myhost.dyn.brevant.example offline.", " - Disconnected."}));
    QCOMPARE(w.tips(), (QStringList{"Corvane DynDNS - Going Offline", "Corvane DynDNS"}));
    QVERIFY(w.startCommandsEnabled());
}

void tst_UpdateConversation::repliesInOneBlockAreHandledInOrder()
{
    LoadedWindow w(platformWith());
    part(*w.window, "mnuFileUpdateIP")->trigger();
    w.platform->socket.raiseConnect();
    w.platform->socket.raiseData("OK hi\r\nOK\nOK\rOK\r\nOK\r\nOK\r\nOK\r\nBYE\r\n");
    QCOMPARE(w.platform->socket.sent, kUpdateLines);
    QCOMPARE(w.messages().last(), QStringLiteral(" - Disconnected."));
    QVERIFY(w.startCommandsEnabled());
}

void tst_UpdateConversation::replyWordsInAnyCaseAndLookAlikesIgnored()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("ok greet\r\nOK: no\r\nOKAY no\r\n OK\r\n");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 2);
    QCOMPARE(socket.sent, QByteArray("VER 1.0 [Corvane DynDNS v1.9]\nUSER alice\n"));
    socket.raiseData("Ok\r\nerr nope\r\n");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 3);
    QCOMPARE(w.messages().last(), QStringLiteral(" - Error: nope."));
    socket.raiseData("bYe\r\n");
    QCOMPARE(w.messages().last(), QStringLiteral(" - Disconnected."));
}

void tst_UpdateConversation::errKeepsTheStepAndALaterOkGoesOn()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nOK\r\n");
    const QByteArray before = socket.sent;
    socket.raiseData("ERR Password expired\r\n");
    QCOMPARE(socket.sent, before);
    QCOMPARE(w.window->session().conversation().ConversationStep(), 3);
    QCOMPARE(w.messages().last(), QStringLiteral(" - Error: Password expired."));
    socket.raiseData("OK\r\n");
    QCOMPARE(socket.sent, before + "HOST myhost.dyn.brevant.example\n");
    QVERIFY(w.startCommandsDisabled());
}

void tst_UpdateConversation::extraOkAfterTheLastStepDoesNothing()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileGoOffline")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\n");
    const QByteArray sent = socket.sent;
    const int logLines = w.messages().size();
    socket.raiseData("OK\r\nOK\r\nOK\r\n");
    QCOMPARE(socket.sent, sent);
    QCOMPARE(w.messages().size(), logLines);
    QCOMPARE(w.window->session().conversation().ConversationStep(), 9);
}

void tst_UpdateConversation::byeInMidConversationEndsIt()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nERR who?\r\nBYE\r\n");
    QCOMPARE(w.messages().mid(4), (QStringList{" - Error: who?.", " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QCOMPARE(w.tips().last(), QStringLiteral("Corvane DynDNS"));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
    QVERIFY(!w.window->session().conversation().isRunning());
}

void tst_UpdateConversation::bareGreetingAndOtherAddress()
{
    auto platform = platformWith();
    platform->storeSetting(QStringLiteral("CurrentIP"), QStringLiteral("False"));
    platform->storeSetting(QStringLiteral("OtherIP"), QString());
    platform->storeSetting(QStringLiteral("SubDomain"), QString());
    LoadedWindow w(std::move(platform));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\n");
    QVERIFY(socket.sent.endsWith("HOST .dyn.brevant.example\nOPER update\nIP \n"));
    QVERIFY(w.messages().contains(QStringLiteral(" - Server: ")));
    QVERIFY(w.messages().contains(QStringLiteral(" - Sending new host IP ()...")));
}

void tst_UpdateConversation::splitReplyIsHandledOnceComplete()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("O");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
    QVERIFY(socket.sent.isEmpty());
    socket.raiseData("K Hello\r");
    socket.raiseData("\nO");
    socket.raiseData("K\r\n");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 2);
    QCOMPARE(w.messages().at(2), QStringLiteral(" - Server: Hello"));
}

void tst_UpdateConversation::blankLineIsSkippedAndTheRestHandled()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\n\r\n   \r\nOK\r\n");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 2);
    QVERIFY(socket.sent.endsWith("USER alice\n"));
}

void tst_UpdateConversation::linesAfterByeAreDropped()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nBYE\r\nERR late\r\nOK\r\n");
    QCOMPARE(w.messages().last(), QStringLiteral(" - Disconnected."));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);
    QCOMPARE(w.messages().count(QStringLiteral(" - Disconnected.")), 1);
}

void tst_UpdateConversation::nextConversationStartsAfresh()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nERR half");
    socket.raiseError(10053, QStringLiteral("Connection reset"));
    QCOMPARE(w.window->session().conversation().ConversationStep(), 0);

    socket.sent.clear();
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK fresh\r\n");
    QCOMPARE(w.window->session().conversation().ConversationStep(), 1);
    QCOMPARE(socket.sent, QByteArray("VER 1.0 [Corvane DynDNS v1.9]\n"));
    QVERIFY(!w.messages().contains(QStringLiteral(" - Error: half.")));
}

void tst_UpdateConversation::repliesWithoutProgressEndTheConversation_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("refusals") << QByteArray() << QByteArray("ERR e\n");
    QTest::newRow("unknown words") << QByteArray("OK\n") << QByteArray("HELLO\n");
    QTest::newRow("OK after the last step")
        << QByteArray("OK\nOK\nOK\nOK\nOK\nOK\nOK\n") << QByteArray("OK\n");
    QTest::newRow("empty lines") << QByteArray("OK\n") << QByteArray("\r\n");
    QTest::newRow("lines of blanks") << QByteArray("OK\n") << QByteArray("   \n");
    QTest::newRow("each step after 900 refusals")
        << (QByteArray("ERR e\n").repeated(900) + "OK\n").repeated(7) << QByteArray("ERR e\n");
}

void tst_UpdateConversation::repliesWithoutProgressEndTheConversation()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, reply);
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData(before + reply.repeated(UpdateConversation::kMaxRepliesWithoutProgress));
    QVERIFY(w.window->session().conversation().isRunning());
    const qsizetype logged = w.messages().size();
    socket.raiseData(reply.repeated(5));
    QVERIFY(!w.window->session().conversation().isRunning());
    QCOMPARE(w.messages().mid(w.messages().size() - 2),
             (QStringList{" - Error: The server sent more than 1000 replies without progress.",
                          " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QVERIFY(w.messages().size() <= logged + 3); // nothing after the reply that ended it
}

void tst_UpdateConversation::valueWithALineBreakIsNeverSent_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("okReplies");
    QTest::addColumn<QString>("reason");
    QTest::newRow("user name") << "Username"
                               << "alice\r\nPASS x" << 2 << "The user name";
    QTest::newRow("password") << "Password"
                              << "pw\nHOST evil.example" << 3 << "The password";
    QTest::newRow("sub-domain") << "SubDomain"
                                << "h\rOPER delete" << 4 << "The host name";
    QTest::newRow("other address") << "OtherIP"
                                   << "192.0.2.1\nDONE" << 6 << "The address";
}

void tst_UpdateConversation::valueWithALineBreakIsNeverSent()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, okReplies);
    QFETCH(QString, reason);
    auto platform = platformWith();
    platform->storeSetting(key, value);
    platform->storeSetting(QStringLiteral("CurrentIP"), QStringLiteral("False"));
    LoadedWindow w(std::move(platform));
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData(QByteArray("OK\n").repeated(okReplies));

    QCOMPARE(socket.sent.count('\n'), okReplies - 1); // every line before it, and nothing of it
    QVERIFY(!socket.sent.contains(value.section(QRegularExpression(QStringLiteral("[\r\n]")), 1).toLatin1()));
    QCOMPARE(w.messages().mid(w.messages().size() - 2),
             (QStringList{" - Error: " + reason + " contains a line break and cannot be sent.",
                          " - Disconnected."}));
    QVERIFY(w.startCommandsEnabled());
    QCOMPARE(socket.closeCalls, 1);
}

void tst_UpdateConversation::closeSwitchEndsTheProgramAfterBye_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("upper") << "/CLOSE";
    QTest::newRow("lower") << "/close";
    QTest::newRow("inside a word") << "x/ClOsEy";
}

void tst_UpdateConversation::closeSwitchEndsTheProgramAfterBye()
{
    QFETCH(QString, commandLine);
    LoadedWindow w(platformWith(commandLine));
    FakeSocket& socket = w.platform->socket;
    QSignalSpy unloaded(w.window.get(), &frmMain::unloaded);

    // A socket error never ends the program.
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseError(10061, QStringLiteral("Connection refused"));
    QCOMPARE(unloaded.size(), 0);
    QVERIFY(w.startCommandsEnabled());

    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nBYE\r\n");
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!part<QTimer>(*w.window, "tmrConnectionMonitor")->isActive());
    QVERIFY(w.startCommandsDisabled()); // nothing is enabled on the way out
    QCOMPARE(w.platform->store.writes.size(), 10);
}

void tst_UpdateConversation::failedSendIsReportedAndNotRepeated()
{
    LoadedWindow w(platformWith());
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuFileUpdateIP")->trigger();
    socket.raiseConnect();
    socket.failSends = true;
    socket.raiseData("OK\r\n");
    QCOMPARE(w.platform->windowing.reports.size(), 1);
    QVERIFY(w.platform->windowing.reports.first().contains(QStringLiteral(":SendSocketData\r\n")));
    socket.failSends = false;
    socket.raiseData("OK\r\n");
    QCOMPARE(socket.sent, QByteArray("USER alice\n"));
}

QTEST_MAIN(tst_UpdateConversation)
#include "tst_UpdateConversation.moc"
