#include "LoadedWindow.h"
#include "ModalDriver.h"
#include "WindowPart.h"
#include "ui/ActivityLog.h"
#include "ui/TrayBehaviour.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

std::unique_ptr<FakePlatform> withTray(bool minimizeToTray, const QString& commandLine = QString())
{
    auto platform = std::make_unique<FakePlatform>();
    platform->storeSetting(QStringLiteral("MinimizeToSystemTray"), minimizeToTray ? "True" : "False");
    platform->windowing.commandLineText = commandLine;
    return platform;
}

QList<NotifyMessage> messagesOf(const FakeNotifyIcon& icon)
{
    QList<NotifyMessage> messages;
    for (const auto& request : icon.requests)
        messages.append(request.message);
    return messages;
}

} // namespace

class tst_TrayBehaviour : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void minimizingWithoutTheSettingStaysOnTheTaskBar();
    void minimizingWithTheSettingGoesIntoTheTray();
    void startMinimizedGoesStraightIntoTheTray();
    void doubleClickRestoresTheWindow_data();
    void doubleClickRestoresTheWindow();
    void rightClickOpensThePopupWithRestoreAsDefault();
    void otherEventsAreIgnored();
    void openDialogMakesTheIconIgnoreEverything();
    void popupDialogsWorkWhileTheWindowIsHidden();
    void logBoxFillsTheWindowAfterRestoring();
    void conversationEndingInTheTrayIsAnnounced_data();
    void conversationEndingInTheTrayIsAnnounced();
};

void tst_TrayBehaviour::cleanup()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

void tst_TrayBehaviour::minimizingWithoutTheSettingStaysOnTheTaskBar()
{
    LoadedWindow w(withTray(false));
    w.window->showMinimized();
    QTest::qWait(50);
    QVERIFY(w.window->isVisible());
    QVERIFY(w.window->isMinimized());
    QVERIFY(w.platform->notifyIcon.requests.isEmpty());
}

void tst_TrayBehaviour::minimizingWithTheSettingGoesIntoTheTray()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    QCOMPARE(messagesOf(w.platform->notifyIcon), QList<NotifyMessage>{NotifyMessage::Add});
    QCOMPARE(w.platform->notifyIcon.lastTip(), QStringLiteral("Corvane DynDNS"));
}

void tst_TrayBehaviour::startMinimizedGoesStraightIntoTheTray()
{
    LoadedWindow w(withTray(true, QStringLiteral("/minimize")));
    QTRY_VERIFY(!w.window->isVisible());
    QCOMPARE(messagesOf(w.platform->notifyIcon), QList<NotifyMessage>{NotifyMessage::Add});

    // A tip change while hidden reaches the shown icon.
    part(*w.window, "mnuContextUpdateIP")->trigger();
    QCOMPARE(w.platform->notifyIcon.lastTip(), QStringLiteral("Corvane DynDNS - Updating IP"));
}

void tst_TrayBehaviour::doubleClickRestoresTheWindow_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("after a minimize") << QString();
    QTest::newRow("after a start with /MINIMIZE") << QStringLiteral("/MINIMIZE");
}

void tst_TrayBehaviour::doubleClickRestoresTheWindow()
{
    QFETCH(QString, commandLine);
    LoadedWindow w(withTray(true, commandLine));
    if (commandLine.isEmpty())
        w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());

    w.platform->notifyIcon.raise(515);
    QVERIFY(w.window->isVisible());
    QVERIFY(!w.window->isMinimized());
    QCOMPARE(w.platform->notifyIcon.requests.last().message, NotifyMessage::Delete);
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));

    // Minimizing again goes back into the tray.
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    QCOMPARE(w.platform->notifyIcon.requests.last().message, NotifyMessage::Add);
}

void tst_TrayBehaviour::rightClickOpensThePopupWithRestoreAsDefault()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    QMenu* popup = part<QMenu>(*w.window, "mnuContext");
    w.platform->notifyIcon.raise(517);
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->defaultAction(), part(*w.window, "mnuContextRestore"));
    QVERIFY(popup->geometry().contains(QCursor::pos()) || popup->pos() == QCursor::pos());

    part(*w.window, "mnuContextRestore")->trigger();
    popup->close();
    QVERIFY(w.window->isVisible());
    QVERIFY(!w.window->isMinimized());
    QCOMPARE(w.platform->notifyIcon.requests.last().message, NotifyMessage::Delete);
}

void tst_TrayBehaviour::otherEventsAreIgnored()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    for (int code : {0x200, 0x201, 0x202, 0x204, 0x206, 0x207, 0x208})
        w.platform->notifyIcon.raise(code);
    QVERIFY(!w.window->isVisible());
    QVERIFY(!part<QMenu>(*w.window, "mnuContext")->isVisible());
    QCOMPARE(w.platform->notifyIcon.requests.size(), 1);
}

void tst_TrayBehaviour::openDialogMakesTheIconIgnoreEverything()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    const auto open = w.window->tray().dialogOpening();
    w.platform->notifyIcon.raise(515);
    w.platform->notifyIcon.raise(517);
    QVERIFY(!w.window->isVisible());
    QVERIFY(!part<QMenu>(*w.window, "mnuContext")->isVisible());
    QCOMPARE(w.platform->notifyIcon.requests.size(), 1);
}

void tst_TrayBehaviour::popupDialogsWorkWhileTheWindowIsHidden()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    bool flagWhileOpen = false;
    bool windowHiddenWhileOpen = false;
    int restoresIgnored = 0;
    ModalDriver about([&](QWidget& box) {
        flagWhileOpen = w.window->tray().dialogOpen();
        windowHiddenWhileOpen = !w.window->isVisible();
        w.platform->notifyIcon.raise(515);
        restoresIgnored += w.window->isVisible() ? 0 : 1;
        box.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    part(*w.window, "mnuContextAbout")->trigger();
    QVERIFY(about.ran());
    QVERIFY(flagWhileOpen);
    QVERIFY(windowHiddenWhileOpen);
    QCOMPARE(restoresIgnored, 1);
    QVERIFY(!w.window->tray().dialogOpen());

    bool optionsFlag = false;
    ModalDriver options([&](QWidget& dialog) {
        optionsFlag = w.window->tray().dialogOpen();
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    part(*w.window, "mnuContextOptions")->trigger();
    QVERIFY(options.ran());
    QVERIFY(optionsFlag);
    QVERIFY(!w.window->tray().dialogOpen());
    QVERIFY(!w.window->isVisible());
    QVERIFY(w.platform->windowing.reports.isEmpty());

    // From the main window's own menus the flag is left alone.
    bool editFlag = true;
    ModalDriver edit([&](QWidget& dialog) {
        editFlag = w.window->tray().dialogOpen();
        dialog.close();
    });
    part(*w.window, "mnuEditOptions")->trigger();
    QVERIFY(edit.ran());
    QVERIFY(!editFlag);
}

void tst_TrayBehaviour::logBoxFillsTheWindowAfterRestoring()
{
    LoadedWindow w(withTray(true));
    w.window->showMinimized();
    QTRY_VERIFY(!w.window->isVisible());
    w.platform->notifyIcon.raise(515);
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    const QWidget* log = part<QPlainTextEdit>(*w.window, "txtLog");
    QCOMPARE(log->width(), w.window->width());
    QCOMPARE(log->geometry().bottom() + 1, w.window->height());
}

void tst_TrayBehaviour::conversationEndingInTheTrayIsAnnounced_data()
{
    QTest::addColumn<bool>("inTray");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("warning");
    const QByteArray accepted = QByteArray("OK\r\n").repeated(7) + "BYE\r\n";
    QTest::newRow("updated") << true << accepted << "h.dyn.brevant.example updated." << false;
    QTest::newRow("refused") << true << QByteArray("OK\r\nOK\r\nOK\r\nERR Wrong password\r\nBYE\r\n")
                             << "Error: Wrong password." << true;
    QTest::newRow("connection lost") << true << QByteArray("OK\r\n") << "Error: Connection reset." << true;
    QTest::newRow("long refusal, cut")
        << true << "ERR " + QByteArray(600, 'x') + "\r\nBYE\r\n"
        << "Error: " + QString(ActivityLog::kMaxEntryLength - 1 - 7, 'x') + QChar(0x2026) << true;
    QTest::newRow("window in view") << false << accepted << QString() << false;
}

// While the window sits in the tray its log is out of sight: the icon says how a conversation
// ended, in the log's own words; with the window in view it says nothing.
void tst_TrayBehaviour::conversationEndingInTheTrayIsAnnounced()
{
    QFETCH(bool, inTray);
    QFETCH(QByteArray, replies);
    QFETCH(QString, text);
    QFETCH(bool, warning);
    auto platform = withTray(true);
    platform->storeSetting(QStringLiteral("SubDomain"), QStringLiteral("h"));
    LoadedWindow w(std::move(platform));
    if (inTray) {
        w.window->showMinimized();
        QTRY_VERIFY(!w.window->isVisible());
    }
    FakeSocket& socket = w.platform->socket;
    part(*w.window, "mnuContextUpdateIP")->trigger();
    socket.raiseConnect();
    socket.raiseData(replies);
    socket.raiseError(10054, QStringLiteral("Connection reset"));

    const QList<FakeNotifyIcon::Message>& messages = w.platform->notifyIcon.messages;
    if (text.isEmpty()) {
        QVERIFY(messages.isEmpty());
        return;
    }
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().title, QStringLiteral("Corvane DynDNS"));
    QCOMPARE(messages.first().text, text);
    QCOMPARE(messages.first().warning, warning);
}

QTEST_MAIN(tst_TrayBehaviour)
#include "tst_TrayBehaviour.moc"
