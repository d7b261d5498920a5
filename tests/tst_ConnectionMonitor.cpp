#include "LoadedWindow.h"
#include "WindowPart.h"
#include "monitor/ConnectionMonitor.h"
#include "session/UpdateSession.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QAction>
#include <QtTest>

namespace {

const QString kDetected = QStringLiteral(" - Internet connection detected.");
const QString kLost = QStringLiteral(" - Internet connection no longer detected.");

std::unique_ptr<FakePlatform> monitoring(bool updateOnConnection = true)
{
    auto platform = std::make_unique<FakePlatform>();
    platform->storeSetting(QStringLiteral("UpdateOnConnection"), updateOnConnection ? "True" : "False");
    platform->storeSetting(QStringLiteral("Server"), QStringLiteral("s"));
    platform->storeSetting(QStringLiteral("Port"), QStringLiteral("1"));
    return platform;
}

struct Monitored : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    void linkUp() { platform->dialup.connections = {{3, kRasConnected}}; }
    void linkDown() { platform->dialup.connections = {{3, kRasDisconnected}}; }
    void tick() { window->tmrConnectionMonitor_Timer(); }
    void finishConversation()
    {
        platform->socket.raiseConnect();
        platform->socket.raiseData("BYE\r\n");
    }
};

} // namespace

class tst_ConnectionMonitor : public QObject
{
    Q_OBJECT
private slots:
    void switchedOffTheProbeIsNotEvenAsked();
    void linkThatStaysUpIsDetectedOnce();
    void lossThenReturnGivesOneLossLineAndOneNewConversation();
    void switchingOffFreezesTheState();
    void detectionDuringAGoOfflineWaitsForItsEnd();
    void failingProbeShowsOneReportWhileItIsOpen();
    void timerTicksTheMonitor();
};

void tst_ConnectionMonitor::switchedOffTheProbeIsNotEvenAsked()
{
    Monitored m(monitoring(false));
    m.linkUp();
    for (int i = 0; i < 3; ++i)
        m.tick();
    QCOMPARE(m.platform->dialup.enumCalls, 0);
    QVERIFY(m.messages().isEmpty());
    QCOMPARE(m.platform->socket.connectRequests, 0);
    QVERIFY(!m.window->session().monitor()->ConnectionDetected());
}

void tst_ConnectionMonitor::linkThatStaysUpIsDetectedOnce()
{
    Monitored m(monitoring());
    m.linkUp();
    for (int i = 0; i < 5; ++i)
        m.tick();
    QCOMPARE(m.platform->dialup.enumCalls, 5);
    QCOMPARE(m.messages(), (QStringList{kDetected, " - Connecting to s:1..."}));
    QCOMPARE(m.platform->socket.connectRequests, 1);
    QCOMPARE(m.window->session().conversation().operation(), Operation::Update);
}

void tst_ConnectionMonitor::lossThenReturnGivesOneLossLineAndOneNewConversation()
{
    Monitored m(monitoring());
    m.linkUp();
    m.tick();
    m.finishConversation();
    m.linkDown();
    m.tick();
    m.tick();
    QCOMPARE(m.messages().count(kLost), 1);
    QCOMPARE(m.platform->socket.connectRequests, 1);
    m.linkUp();
    m.tick();
    m.tick();
    QCOMPARE(m.messages().count(kDetected), 2);
    QCOMPARE(m.messages().count(kLost), 1);
    QCOMPARE(m.platform->socket.connectRequests, 2);
}

void tst_ConnectionMonitor::switchingOffFreezesTheState()
{
    Monitored m(monitoring());
    m.linkUp();
    m.tick();
    m.finishConversation();
    gSettings->setUpdateOnConnection(false);
    m.linkDown();
    m.tick();
    QVERIFY(m.window->session().monitor()->ConnectionDetected());
    QCOMPARE(m.messages().count(kLost), 0);
    gSettings->setUpdateOnConnection(true);
    m.tick();
    QCOMPARE(m.messages().last(), kLost);
    QVERIFY(!m.window->session().monitor()->ConnectionDetected());
}

void tst_ConnectionMonitor::detectionDuringAGoOfflineWaitsForItsEnd()
{
    Monitored m(monitoring());
    FakeSocket& socket = m.platform->socket;
    part(*m.window, "mnuFileGoOffline")->trigger();
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nOK\r\nOK\r\n");
    m.linkUp();
    m.tick();
    QCOMPARE(m.window->session().conversation().operation(), Operation::Offline);
    QCOMPARE(socket.connectRequests, 1);
    QVERIFY(m.platform->windowing.reports.isEmpty());

    socket.raiseData("OK\r\n");
    QVERIFY(socket.sent.endsWith("OPER delete\n"));
    socket.raiseData("OK\r\nBYE\r\n");
    QTRY_COMPARE(socket.connectRequests, 2);
    QCOMPARE(m.window->session().conversation().operation(), Operation::Update);
    socket.raiseConnect();
    socket.raiseData("OK\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\n");
    QVERIFY(socket.sent.endsWith("OPER update\nIP 192.0.2.10\n"));
}

void tst_ConnectionMonitor::failingProbeShowsOneReportWhileItIsOpen()
{
    Monitored m(monitoring());
    m.platform->dialup.unreachable = true;
    int ticksDuringReport = 0;
    // The report is modal: timer ticks go on arriving while it is open.
    m.platform->windowing.onReport = [&](const QString&) {
        ++ticksDuringReport;
        m.tick();
        m.tick();
    };
    m.tick();
    QCOMPARE(ticksDuringReport, 1);
    QCOMPARE(m.platform->dialup.enumCalls, 1);
    QCOMPARE(m.platform->windowing.reports.size(), 1);
    QVERIFY(m.platform->windowing.reports.first().startsWith(QStringLiteral(
        "An error occured in FakeDialup:tmrConnectionMonitor_Timer\r\n\r\nError Number 453:")));
    QVERIFY(!m.window->session().monitor()->ConnectionDetected());

    // Once dismissed, the next tick reports again.
    m.platform->windowing.onReport = nullptr;
    m.tick();
    QCOMPARE(m.platform->windowing.reports.size(), 2);
}

void tst_ConnectionMonitor::timerTicksTheMonitor()
{
    Monitored m(monitoring());
    m.linkUp();
    part<QTimer>(*m.window, "tmrConnectionMonitor")->setInterval(10);
    QTRY_COMPARE(m.messages().value(0), kDetected);
}

QTEST_MAIN(tst_ConnectionMonitor)
#include "tst_ConnectionMonitor.moc"
