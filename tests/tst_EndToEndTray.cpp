// The real program under a virtual X server with a tray host: it starts in the tray, its
// popup menu opens the dialogs while the window stays hidden, and a double-click on the icon
// brings the window back.

#include "VirtualDisplay.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kCaption = QStringLiteral("Corvane DynDNS 1.9 - By Vexlin");
constexpr int kWaitMs = VirtualDisplay::kWaitMs;
} // namespace

class tst_EndToEndTray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsInTheTrayAndComesBack();

private:
    QString x(const QStringList& arguments) { return mScreen.run(arguments); }
    QString trayIconWindow();

    VirtualDisplay mScreen;
    QProcess mTray;
};

void tst_EndToEndTray::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool", "xprop", "trayer"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/bootstrap installs it); skipping")
                                 .arg(QLatin1String(tool))));
    }
    QVERIFY2(mScreen.start(), "Xvfb did not start");
    mTray.setProcessEnvironment(mScreen.toolEnvironment());
    mTray.start(QStringLiteral("trayer"),
                {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                 QStringLiteral("--width"), QStringLiteral("120")});
    QVERIFY(mTray.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        !mScreen.visibleWindows(QStringLiteral("--class"), QStringLiteral("^trayer$")).isEmpty(), kWaitMs);
}

void tst_EndToEndTray::cleanupTestCase()
{
    if (mTray.state() != QProcess::NotRunning) {
        mTray.terminate();
        mTray.waitForFinished(5000);
    }
}

// The icon is a small window of the program's own, docked in the tray host.
QString tst_EndToEndTray::trayIconWindow()
{
    for (const QString& window :
         mScreen.visibleWindows(QStringLiteral("--classname"), QStringLiteral("^corvane-dyndns$"))) {
        const QString name =
            x({QStringLiteral("xdotool"), QStringLiteral("getwindowname"), window}).trimmed();
        const QString geometry = x({QStringLiteral("xdotool"), QStringLiteral("getwindowgeometry"), window});
        const QRegularExpressionMatch size =
            QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
        if (name != kCaption && size.hasMatch() && size.captured(1).toInt() <= 64 &&
            size.captured(2).toInt() <= 64)
            return window;
    }
    return QString();
}

void tst_EndToEndTray::startsInTheTrayAndComesBack()
{
    QFile ini(mScreen.settingsFile());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\nMinimizeToSystemTray=True\n");
    ini.close();

    QProcess program;
    program.setProcessEnvironment(mScreen.programEnvironment());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(kProgram, {QStringLiteral("/MINIMIZE")});
    QVERIFY(program.waitForStarted());

    QString icon;
    QTRY_VERIFY_WITH_TIMEOUT(!(icon = trayIconWindow()).isEmpty(), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));

    const auto openPopupAndPress = [&](const QString& key) {
        x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
           QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("3")});
        QTest::qWait(500);
        x({QStringLiteral("xdotool"), QStringLiteral("key"), key});
    };

    // Options... from the popup, while the window stays in the tray.
    openPopupAndPress(QStringLiteral("o"));
    QTRY_VERIFY_WITH_TIMEOUT(mScreen.windowShown(QStringLiteral("^Options$")), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!mScreen.windowShown(QStringLiteral("^Options$")), kWaitMs);

    // About... likewise; Enter closes it.
    openPopupAndPress(QStringLiteral("a"));
    QTRY_VERIFY_WITH_TIMEOUT(mScreen.windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(!mScreen.windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(program.state() == QProcess::Running);

    // A double-click brings the window back in its normal state, and the icon goes.
    x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
       QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("--repeat"),
       QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(mScreen.windowShown(kCaption), kWaitMs);
    const QString window = mScreen.visibleWindows(QStringLiteral("--name"), kCaption).first();
    // Shown in the normal state: not mapped as an icon again.
    const QString hints =
        x({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("WM_HINTS")});
    QVERIFY2(hints.contains(QStringLiteral("WM_HINTS")) && !hints.contains(QStringLiteral("Iconic")),
             qPrintable(hints));
    QTRY_VERIFY_WITH_TIMEOUT(trayIconWindow().isEmpty(), kWaitMs);

    program.terminate();
    QVERIFY(program.waitForFinished(kWaitMs));
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_EndToEndTray)
#include "tst_EndToEndTray.moc"
