#include "FakePlatform.h"
#include "WindowPart.h"
#include "history/History.h"
#include "settings/CSettings.h"
#include "ui/frmMain.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

struct Item
{
    QString name;
    QString caption;
};

QList<Item> itemsOf(const QMenu* menu)
{
    QList<Item> items;
    for (const QAction* action : menu->actions())
        items.append({action->objectName(), action->isSeparator() ? QStringLiteral("-") : action->text()});
    return items;
}

QStringList describe(const QList<Item>& items)
{
    QStringList lines;
    for (const Item& item : items)
        lines.append(item.name + QLatin1Char('=') + item.caption);
    return lines;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menuTreeHasTheDocumentedCaptions();
    void everyItemStartsEnabledAndThePopupIsHidden();
    void logBoxFillsTheWindow();
    void loadSetsCaptionsAndStartsTheMonitor();
    void captionShowsMajorAndMinorOnly();
    void enableMenusTouchesExactlyTheFourStartCommands();
    void helpLinksOpenTheirUrls();
    void minimizeSwitchInAnyCaseMinimizes_data();
    void minimizeSwitchInAnyCaseMinimizes();
    void secondInstanceSavesAndEndsSilently();
    void exitSavesEverySetting();
    void closeBoxAndEndOfSessionSaveLikeExit();
    void unreadableSettingIsReportedOnceAndTheProgramRuns();
    void refusedSaveIsReportedUnderFormUnload();
    void endDuringALoadReportStopsTheLoad_data();
    void endDuringALoadReportStopsTheLoad();
    void screenReadersSeeTheLogAndNotTheHiddenParts();
    void conversationIsRecordedInTheHistory_data();
    void conversationIsRecordedInTheHistory();

private:
    std::unique_ptr<FakePlatform> mPlatform;
    std::unique_ptr<QTemporaryDir> mState;
    std::unique_ptr<frmMain> mWindow;
    frmMain& makeWindow();
};

void tst_frmMain::init()
{
    mPlatform = std::make_unique<FakePlatform>();
    mState = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", QFile::encodeName(mState->path()));
}

void tst_frmMain::cleanup()
{
    mWindow.reset();
    gSettings.discard();
}

frmMain& tst_frmMain::makeWindow()
{
    mWindow = std::make_unique<frmMain>(mPlatform->services());
    return *mWindow;
}

void tst_frmMain::menuTreeHasTheDocumentedCaptions()
{
    frmMain& w = makeWindow();
    QStringList topLevel;
    for (const QAction* action : w.menuBar()->actions())
        topLevel.append(action->objectName() + QLatin1Char('=') + action->text());
    QCOMPARE(topLevel,
             (QStringList{"mnuFile=&File", "mnuEdit=&Edit", "mnuHelp=&Help", "mnuContext=Context"}));

    QCOMPARE(describe(itemsOf(part<QMenu>(w, "mnuFile"))),
             (QStringList{"mnuFileUpdateIP=&Update IP", "mnuFileGoOffline=&Go Offline", "mnuDileSep1=-",
                          "mnuFileExit=E&xit"}));
    QCOMPARE(describe(itemsOf(part<QMenu>(w, "mnuEdit"))), (QStringList{"mnuEditOptions=&Options..."}));
    QCOMPARE(describe(itemsOf(part<QMenu>(w, "mnuHelp"))),
             (QStringList{"mnuHelpHomepage=My Homepage", "mnuHelpEmail=My E-mai", "mnuHelpSep1=-",
                          "mnuHelpBrevant=&Brevant", "mnuHelpSep2=-", "mnuHelpAbout=&About..."}));
    QCOMPARE(describe(itemsOf(part<QMenu>(w, "mnuHelpBrevant"))),
             (QStringList{"mnuHelpBrevantHomepage=&Homepage", "mnuHelpBrevantDynDNS=&DynDNS Config"}));
    QCOMPARE(
        describe(itemsOf(part<QMenu>(w, "mnuContext"))),
        (QStringList{"mnuContextRestore=&Restore", "mnuContextSep1=-", "mnuContextUpdateIP=&Update IP",
                     "mnuContextGoOffline=&Go Offline", "mnuContextSep2=-", "mnuContextOptions=&Options...",
                     "mnuContextSep3=-", "mnuContextAbout=&About...", "mnuContextExit=E&xit"}));
    QCOMPARE(part<QMenu>(w, "mnuContext")->defaultAction(), part(w, "mnuContextRestore"));
    // No item has a shortcut key.
    for (const QAction* action : w.findChildren<QAction*>())
        QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->objectName()));
}

void tst_frmMain::everyItemStartsEnabledAndThePopupIsHidden()
{
    frmMain& w = makeWindow();
    w.load();
    QVERIFY(!part<QMenu>(w, "mnuContext")->menuAction()->isVisible());
    for (const QMenu* menu :
         {part<QMenu>(w, "mnuFile"), part<QMenu>(w, "mnuEdit"), part<QMenu>(w, "mnuHelp")}) {
        QVERIFY(menu->menuAction()->isEnabled());
        QVERIFY(menu->menuAction()->isVisible());
    }
    for (const QMenu* menu : {part<QMenu>(w, "mnuFile"), part<QMenu>(w, "mnuEdit"), part<QMenu>(w, "mnuHelp"),
                              part<QMenu>(w, "mnuContext")}) {
        for (const QAction* action : menu->actions()) {
            QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
            QVERIFY2(action->isVisible(), qPrintable(action->objectName()));
        }
    }
}

void tst_frmMain::logBoxFillsTheWindow()
{
    frmMain& w = makeWindow();
    w.load();
    auto* log = w.findChild<QPlainTextEdit*>(QStringLiteral("txtLog"));
    QVERIFY(log);
    QCOMPARE(w.centralWidget(), log);
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(!log->isReadOnly());
    QVERIFY(log->toPlainText().isEmpty());
    QCOMPARE(log->width(), 329);
    QCOMPARE(log->geometry().bottom() + 1, w.height());
}

void tst_frmMain::loadSetsCaptionsAndStartsTheMonitor()
{
    frmMain& w = makeWindow();
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvane DynDNS - By Vexlin"));
    QVERIFY(!part<QTimer>(w, "tmrConnectionMonitor")->isActive());
    w.load();
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvane DynDNS 1.9 - By Vexlin"));
    QCOMPARE(part(w, "mnuHelpAbout")->text(), QStringLiteral("&About Corvane DynDNS..."));
    QCOMPARE(part(w, "mnuContextAbout")->text(), QStringLiteral("&About..."));
    QVERIFY(part<QTimer>(w, "tmrConnectionMonitor")->isActive());
    QCOMPARE(part<QTimer>(w, "tmrConnectionMonitor")->interval(), 1000);
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
    QVERIFY(bool(gSettings));
    QVERIFY(mPlatform->windowing.reports.isEmpty());
}

void tst_frmMain::captionShowsMajorAndMinorOnly()
{
    mPlatform->windowing.minor = 10;
    mPlatform->windowing.revision = 3;
    makeWindow().load();
    QCOMPARE(mWindow->windowTitle(), QStringLiteral("Corvane DynDNS 1.10 - By Vexlin"));
}

void tst_frmMain::enableMenusTouchesExactlyTheFourStartCommands()
{
    frmMain& w = makeWindow();
    w.load();
    const QList<QAction*> startCommands = {part(w, "mnuFileUpdateIP"), part(w, "mnuFileGoOffline"),
                                           part(w, "mnuContextUpdateIP"), part(w, "mnuContextGoOffline")};
    // The popup's own entry on the menu bar is hidden, which Qt counts as disabled.
    QList<QAction*> items = w.findChildren<QAction*>();
    items.removeAll(part(w, "mnuContext"));
    w.EnableMenus(false);
    for (QAction* action : items) {
        const bool isStart = startCommands.contains(action);
        QVERIFY2(action->isEnabled() != isStart, qPrintable(action->objectName()));
    }
    w.EnableMenus(true);
    for (QAction* action : items)
        QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
}

void tst_frmMain::helpLinksOpenTheirUrls()
{
    frmMain& w = makeWindow();
    w.load();
    part(w, "mnuHelpHomepage")->trigger();
    part(w, "mnuHelpEmail")->trigger();
    part(w, "mnuHelpBrevantHomepage")->trigger();
    part(w, "mnuHelpBrevantDynDNS")->trigger();
    QCOMPARE(mPlatform->shell.urls,
             (QStringList{"https://www.vexlin.example/", "mailto:vexlin@vexlin.example",
                          "https://www.brevant.example/",
                          "https://www.brevant.example/bin/controlpanel/dyndns/dyndns.pl"}));
}

void tst_frmMain::minimizeSwitchInAnyCaseMinimizes_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("minimized");
    QTest::newRow("none") << "" << false;
    QTest::newRow("upper") << "/MINIMIZE" << true;
    QTest::newRow("lower") << "/minimize" << true;
    QTest::newRow("inside a longer argument") << "--x/MiniMizeNow" << true;
    QTest::newRow("other switch") << "/CLOSE" << false;
}

void tst_frmMain::minimizeSwitchInAnyCaseMinimizes()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, minimized);
    mPlatform->windowing.commandLineText = commandLine;
    frmMain& w = makeWindow();
    w.load();
    QCOMPARE(w.isMinimized(), minimized);
    QVERIFY(w.isVisible()); // minimized on the task bar unless the tray is asked for
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvane DynDNS 1.9 - By Vexlin"));
}

void tst_frmMain::secondInstanceSavesAndEndsSilently()
{
    mPlatform->windowing.anotherInstance = true;
    mPlatform->storeSetting(QStringLiteral("Username"), QStringLiteral("kept"));
    frmMain& w = makeWindow();
    QSignalSpy unloaded(&w, &frmMain::unloaded);
    w.load();
    QCOMPARE(mPlatform->windowing.endProcessCalls, 1);
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!part<QTimer>(w, "tmrConnectionMonitor")->isActive());
    QVERIFY(mPlatform->windowing.reports.isEmpty());
    QCOMPARE(mPlatform->storedSetting(QStringLiteral("Username")), QStringLiteral("kept"));
    QCOMPARE(mPlatform->storedSetting(QStringLiteral("Port")), QStringLiteral("2345"));
    QCOMPARE(mPlatform->store.writes.size(), 10);
}

void tst_frmMain::exitSavesEverySetting()
{
    frmMain& w = makeWindow();
    w.load();
    gSettings->setSubDomain(QStringLiteral("myhost"));
    QSignalSpy unloaded(&w, &frmMain::unloaded);
    part(w, "mnuFileExit")->trigger();
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!gSettings);
    QCOMPARE(mPlatform->store.writes.size(), 10);
    QCOMPARE(mPlatform->storedSetting(QStringLiteral("SubDomain")), QStringLiteral("myhost"));

    part(w, "mnuContextExit")->trigger(); // a second close saves nothing more
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(mPlatform->store.writes.size(), 10);
}

void tst_frmMain::closeBoxAndEndOfSessionSaveLikeExit()
{
    frmMain& w = makeWindow();
    w.load();
    QVERIFY(w.close());
    QCOMPARE(mPlatform->store.writes.size(), 10);

    cleanup();
    init();
    frmMain& second = makeWindow();
    second.load();
    QSignalSpy unloaded(&second, &frmMain::unloaded);
    mPlatform->windowing.requestEnd();
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(mPlatform->store.writes.size(), 10);
}

void tst_frmMain::unreadableSettingIsReportedOnceAndTheProgramRuns()
{
    mPlatform->storeSetting(QStringLiteral("Port"), QStringLiteral("80x"));
    mPlatform->storeSetting(QStringLiteral("Server"), QStringLiteral("kept.example"));
    frmMain& w = makeWindow();
    w.load();
    QCOMPARE(mPlatform->windowing.reports,
             QStringList{QStringLiteral(
                 "An error occured in CorvaneDynDNS:Form_Load\r\n\r\nError Number 13:\r\nType mismatch")});
    QVERIFY(bool(gSettings));
    QCOMPARE(gSettings->Port(), 2345);
    QCOMPARE(gSettings->Server(), QStringLiteral("kept.example"));
    QVERIFY(part<QTimer>(w, "tmrConnectionMonitor")->isActive());
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvane DynDNS 1.9 - By Vexlin"));
    w.close();
    QCOMPARE(mPlatform->storedSetting(QStringLiteral("Port")), QStringLiteral("2345"));
    QCOMPARE(mPlatform->windowing.reports.size(), 1);
}

void tst_frmMain::refusedSaveIsReportedUnderFormUnload()
{
    frmMain& w = makeWindow();
    w.load();
    mPlatform->store.refuseKey = QStringLiteral("Domain");
    QSignalSpy unloaded(&w, &frmMain::unloaded);
    // The report stays open over several of the monitor's ticks.
    bool monitorStopped = false;
    mPlatform->windowing.onReport = [&](const QString&) {
        monitorStopped = !part<QTimer>(w, "tmrConnectionMonitor")->isActive();
        mPlatform->windowing.onReport = nullptr;
        QTest::qWait(2500);
    };
    w.close();
    QCOMPARE(unloaded.size(), 1); // closing cannot be refused
    QVERIFY(monitorStopped);
    QCOMPARE(mPlatform->windowing.reports.size(), 1);
    QVERIFY(mPlatform->windowing.reports.first().startsWith(
        QStringLiteral("An error occured in FakeSettingsStore:Form_Unload")));
}

void tst_frmMain::endDuringALoadReportStopsTheLoad_data()
{
    QTest::addColumn<bool>("lockFails");
    QTest::newRow("no lock") << true;
    QTest::newRow("unreadable setting") << false;
}

void tst_frmMain::endDuringALoadReportStopsTheLoad()
{
    QFETCH(bool, lockFails);
    mPlatform->windowing.instanceTestFails = lockFails;
    if (!lockFails) {
        mPlatform->storeSetting(QStringLiteral("Port"), QStringLiteral("80x"));
        mPlatform->storeSetting(QStringLiteral("CurrentIP"), QStringLiteral("maybe"));
    }
    mPlatform->windowing.onReport = [this](const QString&) { mPlatform->windowing.requestEnd(); };
    frmMain& w = makeWindow();
    QSignalSpy unloaded(&w, &frmMain::unloaded);
    w.load();
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(mPlatform->windowing.reports.size(), 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!part<QTimer>(w, "tmrConnectionMonitor")->isActive());
    QCOMPARE(mPlatform->store.saves, 1);
}

void tst_frmMain::screenReadersSeeTheLogAndNotTheHiddenParts()
{
    frmMain& w = makeWindow();
    w.load();
    QCOMPARE(
        QAccessible::queryAccessibleInterface(part<QPlainTextEdit>(w, "txtLog"))->text(QAccessible::Name),
        QStringLiteral("Activity log"));
    QVERIFY(QAccessible::queryAccessibleInterface(part<QLabel>(w, "picTrayIcon"))->state().invisible);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.menuBar());
    QStringList shown;
    for (int i = 0; i < bar->childCount(); ++i) {
        if (!bar->child(i)->state().invisible)
            shown.append(bar->child(i)->text(QAccessible::Name));
    }
    QCOMPARE(shown, (QStringList{"File", "Edit", "Help"}));
}

void tst_frmMain::conversationIsRecordedInTheHistory_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("written") << true;
    QTest::newRow("cannot be written") << false;
}

// A history that cannot be written is said on standard error only: the window shows the same
// log, no report, and goes on.
void tst_frmMain::conversationIsRecordedInTheHistory()
{
    QFETCH(bool, writable);
    const History history;
    if (!writable)
        QVERIFY(QDir().mkpath(history.path()));
    mPlatform->storeSetting(QStringLiteral("SubDomain"), QStringLiteral("h"));
    frmMain& w = makeWindow();
    w.load();
    part(w, "mnuFileUpdateIP")->trigger();
    mPlatform->socket.raiseConnect();
    mPlatform->socket.raiseData(QByteArray("OK\r\n").repeated(6) + "OK host updated\r\nBYE see you\r\n");

    QVERIFY(mPlatform->windowing.reports.isEmpty());
    QVERIFY(part(w, "mnuFileUpdateIP")->isEnabled());
    const QString log = part<QPlainTextEdit>(w, "txtLog")->toPlainText().trimmed();
    QVERIFY2(log.endsWith(QStringLiteral(" - Disconnected.")) && !log.contains(QStringLiteral("history")),
             qPrintable(log));
    if (!writable)
        return;
    const QList<HistoryEntry> entries = history.entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].runner, HistoryEntry::Runner::Window);
    QCOMPARE(entries[0].host, QStringLiteral("h.dyn.brevant.example"));
    QCOMPARE(entries[0].address, mPlatform->socket.localAddress);
    QCOMPARE(entries[0].outcome, ConversationResult::Outcome::Accepted);
    // Recorded the moment the server accepted, with the reply that did.
    QCOMPARE(entries[0].message, QStringLiteral("OK host updated"));
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
