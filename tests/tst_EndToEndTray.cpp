// The real program under a virtual X server with a window manager (openbox) and a tray host
// (trayer): it starts in the tray, its popup menu opens the dialogs while the window stays
// hidden, and the first double-click or Restore brings the window back, start after start.
// Without a tray the window stays minimized on the task bar until a tray host appears.

#include "VirtualDisplay.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <functional>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kCaption = VirtualDisplay::mainWindowCaption();
constexpr int kWaitMs = VirtualDisplay::kWaitMs;

// Polls a condition until it holds or the deadline passes.
bool waitFor(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(kWaitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Starts under /MINIMIZE per way back: each must come back on the first try.
constexpr int kStarts = 20;
} // namespace

class tst_EndToEndTray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void popupDialogsKeepTheWindowInTheTray();
    void comesBackOnTheFirstTry_data();
    void comesBackOnTheFirstTry();
    void withoutATrayTheWindowStaysOnTheTaskBar();

private:
    QString x(const QStringList& arguments) { return mScreen.run(arguments); }
    bool startTray();
    void stopTray();
    bool startMinimized();
    bool endProgram();
    QString ourWindow(bool small);
    QString trayIconWindow() { return ourWindow(true); }
    QString popupWindow() { return ourWindow(false); }
    QString mainWindow();
    QString wmState(const QString& window);
    bool restoredAndActive();
    bool openPopupAndPress(const QString& key);
    void doubleClickIcon();

    VirtualDisplay mScreen;
    QProcess mWindowManager;
    QProcess mTray;
    QProcess mProgram;
};

void tst_EndToEndTray::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool", "xprop", "xwininfo", "openbox", "trayer"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/bootstrap installs it); skipping")
                                 .arg(QLatin1String(tool))));
    }
    QVERIFY2(mScreen.start(), "Xvfb did not start");
    QVERIFY2(mScreen.startWindowManager(mWindowManager), "openbox did not take the display");
    QVERIFY(startTray());
}

// trayer is not what is tested here: one that does not show its panel is said why and started
// once more.
bool tst_EndToEndTray::startTray()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        mTray.setProcessEnvironment(mScreen.toolEnvironment());
        mTray.setProcessChannelMode(QProcess::ForwardedChannels);
        mTray.start(QStringLiteral("trayer"),
                    {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                     QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                     QStringLiteral("--width"), QStringLiteral("120")});
        if (mTray.waitForStarted() && waitFor([this] {
                return mTray.state() != QProcess::Running ||
                       !mScreen.visibleWindows(QStringLiteral("--class"), QStringLiteral("^trayer$"))
                            .isEmpty();
            }) &&
            mTray.state() == QProcess::Running)
            return true;
        const QString windows = mScreen.run({QStringLiteral("xdotool"), QStringLiteral("search"),
                                             QStringLiteral("--class"), QStringLiteral("^trayer$")});
        qWarning("the tray host did not appear; %s; openbox %s; trayer %s, its windows: %s",
                 qPrintable(mScreen.state()),
                 mWindowManager.state() == QProcess::Running ? "runs" : "has ended",
                 mTray.state() == QProcess::Running
                     ? "runs"
                     : qPrintable(QStringLiteral("ended with %1").arg(mTray.exitCode())),
                 qPrintable(windows.simplified()));
        stopTray();
    }
    return false;
}

void tst_EndToEndTray::stopTray()
{
    if (mTray.state() != QProcess::NotRunning) {
        mTray.terminate();
        if (!mTray.waitForFinished(5000)) {
            mTray.kill();
            mTray.waitForFinished(5000);
        }
    }
}

void tst_EndToEndTray::cleanup()
{
    if (mProgram.state() != QProcess::NotRunning) {
        mProgram.kill();
        mProgram.waitForFinished(5000);
    }
    if (mTray.state() == QProcess::NotRunning)
        QVERIFY(startTray());
}

void tst_EndToEndTray::cleanupTestCase()
{
    stopTray();
    mWindowManager.terminate();
    mWindowManager.waitForFinished(5000);
}

bool tst_EndToEndTray::startMinimized()
{
    QFile ini(mScreen.settingsFile());
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write("[Settings]\nMinimizeToSystemTray=True\n");
    ini.close();
    mProgram.setProcessEnvironment(mScreen.programEnvironment());
    mProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mProgram.start(kProgram, {QStringLiteral("/MINIMIZE")});
    return mProgram.waitForStarted();
}

bool tst_EndToEndTray::endProgram()
{
    mProgram.terminate();
    return mProgram.waitForFinished(kWaitMs) && mProgram.exitCode() == 0;
}

// The icon is a small window of the program's own, docked in the tray host; the popup menu
// is a larger one without the main window's caption.
QString tst_EndToEndTray::ourWindow(bool small)
{
    for (const QString& window :
         mScreen.visibleWindows(QStringLiteral("--classname"), QStringLiteral("^corvane-dyndns$"))) {
        const QString name =
            x({QStringLiteral("xdotool"), QStringLiteral("getwindowname"), window}).trimmed();
        const QString geometry = x({QStringLiteral("xdotool"), QStringLiteral("getwindowgeometry"), window});
        const QRegularExpressionMatch size =
            QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
        if (name == kCaption || !size.hasMatch())
            continue;
        if (small == (size.captured(1).toInt() <= 64 && size.captured(2).toInt() <= 64))
            return window;
    }
    return QString();
}

QString tst_EndToEndTray::mainWindow()
{
    return x({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--name"),
              QLatin1Char('^') + kCaption + QLatin1Char('$')})
        .section(QLatin1Char('\n'), 0, 0);
}

// "Normal" or "Iconic" while the window manager holds the window; empty when withdrawn.
QString tst_EndToEndTray::wmState(const QString& window)
{
    const QString state =
        x({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("WM_STATE")});
    return QRegularExpression(QStringLiteral("window state: (\\w+)")).match(state).captured(1);
}

// Mapped, in the normal state and the active window.
bool tst_EndToEndTray::restoredAndActive()
{
    const QString window = mainWindow();
    if (window.isEmpty() || wmState(window) != QStringLiteral("Normal"))
        return false;
    if (!x({QStringLiteral("xwininfo"), QStringLiteral("-id"), window})
             .contains(QStringLiteral("IsViewable")))
        return false;
    return x({QStringLiteral("xdotool"), QStringLiteral("getactivewindow")}).trimmed() == window;
}

// A right-click just after a dialog from the popup closed may still meet the open dialog and
// be ignored, so the click is repeated until the popup shows.
bool tst_EndToEndTray::openPopupAndPress(const QString& key)
{
    QDeadlineTimer deadline(kWaitMs);
    while (popupWindow().isEmpty()) {
        if (deadline.hasExpired())
            return false;
        x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
           trayIconWindow(), QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"),
           QStringLiteral("3")});
        QDeadlineTimer shown(2000);
        while (popupWindow().isEmpty() && !shown.hasExpired())
            QTest::qWait(50);
    }
    x({QStringLiteral("xdotool"), QStringLiteral("key"), key});
    return true;
}

void tst_EndToEndTray::doubleClickIcon()
{
    x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), trayIconWindow(),
       QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("--repeat"),
       QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
}

void tst_EndToEndTray::popupDialogsKeepTheWindowInTheTray()
{
    QVERIFY(startMinimized());
    QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow().isEmpty(), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));

    QVERIFY(openPopupAndPress(QStringLiteral("o")));
    QTRY_VERIFY_WITH_TIMEOUT(mScreen.windowShown(QStringLiteral("^Options$")), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!mScreen.windowShown(QStringLiteral("^Options$")), kWaitMs);

    QVERIFY(openPopupAndPress(QStringLiteral("a")));
    QTRY_VERIFY_WITH_TIMEOUT(mScreen.windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(!mScreen.windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    QVERIFY(endProgram());
}

void tst_EndToEndTray::comesBackOnTheFirstTry_data()
{
    QTest::addColumn<bool>("fromPopup");
    QTest::newRow("double-click") << false;
    QTest::newRow("popup Restore") << true;
}

// The window manager answers the start's iconify late; that must never send the window back
// once it has been restored. Each start gets one double-click or one Restore, no second try.
void tst_EndToEndTray::comesBackOnTheFirstTry()
{
    QFETCH(bool, fromPopup);
    for (int start = 1; start <= kStarts; ++start) {
        QVERIFY(startMinimized());
        QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow().isEmpty(), kWaitMs);
        if (fromPopup)
            QVERIFY(openPopupAndPress(QStringLiteral("r")));
        else
            doubleClickIcon();
        QTRY_VERIFY2_WITH_TIMEOUT(restoredAndActive(), qPrintable(QStringLiteral("start %1").arg(start)),
                                  kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(trayIconWindow().isEmpty(), kWaitMs);
        QVERIFY(endProgram());
    }
}

// No tray: minimized on the task bar. A tray host that comes later gets the icon and the
// window; a tray host that goes away gives the window back to the task bar.
void tst_EndToEndTray::withoutATrayTheWindowStaysOnTheTaskBar()
{
    stopTray();
    QVERIFY(startMinimized());
    QTRY_COMPARE_WITH_TIMEOUT(wmState(mainWindow()), QStringLiteral("Iconic"), kWaitMs);

    QVERIFY(startTray());
    QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow().isEmpty(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(wmState(mainWindow()), QString(), kWaitMs);

    stopTray();
    QTRY_COMPARE_WITH_TIMEOUT(wmState(mainWindow()), QStringLiteral("Iconic"), kWaitMs);
    x({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), mainWindow()});
    QTRY_VERIFY_WITH_TIMEOUT(restoredAndActive(), kWaitMs);
    QVERIFY(endProgram());
}

QTEST_GUILESS_MAIN(tst_EndToEndTray)
#include "tst_EndToEndTray.moc"
