// The real program under a virtual X server with a tray host: it starts in the tray, its
// popup menu opens the dialogs while the window stays hidden, and a double-click on the icon
// brings the window back.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kCaption = QStringLiteral("Corvane DynDNS 1.9 - By Vexlin");
constexpr int kWaitMs = 30000;
} // namespace

class tst_EndToEndTray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsInTheTrayAndComesBack();

private:
    QString x(const QStringList& arguments);
    QStringList visibleWindows(const QString& how, const QString& pattern);
    QString trayIconWindow();
    bool windowShown(const QString& title)
    {
        return !visibleWindows(QStringLiteral("--name"), title).isEmpty();
    }

    QProcess mXvfb;
    QProcess mTray;
    QString mDisplay;
    QTemporaryDir mHome;
};

void tst_EndToEndTray::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool", "xprop", "trayer"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/bootstrap installs it); skipping")
                                 .arg(QLatin1String(tool))));
    }
    mXvfb.start(QStringLiteral("Xvfb"),
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                 QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp")});
    QVERIFY(mXvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(mXvfb.canReadLine(), kWaitMs);
    mDisplay = QLatin1Char(':') + QString::fromLatin1(mXvfb.readLine().trimmed());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    mTray.setProcessEnvironment(env);
    mTray.start(QStringLiteral("trayer"),
                {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                 QStringLiteral("--width"), QStringLiteral("120")});
    QVERIFY(mTray.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindows(QStringLiteral("--class"), QStringLiteral("^trayer$")).isEmpty(),
                             kWaitMs);
}

void tst_EndToEndTray::cleanupTestCase()
{
    for (QProcess* process : {&mTray, &mXvfb}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }
}

QString tst_EndToEndTray::x(const QStringList& arguments)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    tool.setProcessEnvironment(env);
    tool.start(arguments.first(), arguments.mid(1));
    tool.waitForFinished(kWaitMs);
    return QString::fromLatin1(tool.readAllStandardOutput());
}

QStringList tst_EndToEndTray::visibleWindows(const QString& how, const QString& pattern)
{
    return x({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--onlyvisible"), how,
              pattern})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The icon is a small window of the program's own, docked in the tray host.
QString tst_EndToEndTray::trayIconWindow()
{
    for (const QString& window :
         visibleWindows(QStringLiteral("--class"), QStringLiteral("^corvane-dyndns$"))) {
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
    QVERIFY(QDir(mHome.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(mHome.path()).mkpath(QStringLiteral("runtime")));
    QFile ini(mHome.filePath(QStringLiteral("config/Corvane DynDNS.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\nMinimizeToSystemTray=True\n");
    ini.close();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), mHome.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mHome.filePath(QStringLiteral("runtime")));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(kProgram, {QStringLiteral("/MINIMIZE")});
    QVERIFY(program.waitForStarted());

    QString icon;
    QTRY_VERIFY_WITH_TIMEOUT(!(icon = trayIconWindow()).isEmpty(), kWaitMs);
    QVERIFY(!windowShown(kCaption));

    const auto openPopupAndPress = [&](const QString& key) {
        x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
           QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("3")});
        QTest::qWait(500);
        x({QStringLiteral("xdotool"), QStringLiteral("key"), key});
    };

    // Options... from the popup, while the window stays in the tray.
    openPopupAndPress(QStringLiteral("o"));
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(QStringLiteral("^Options$")), kWaitMs);
    QVERIFY(!windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!windowShown(QStringLiteral("^Options$")), kWaitMs);

    // About... likewise; Enter closes it.
    openPopupAndPress(QStringLiteral("a"));
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(!windowShown(kCaption));
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(!windowShown(QStringLiteral("^About Corvane DynDNS$")), kWaitMs);
    QVERIFY(program.state() == QProcess::Running);

    // A double-click brings the window back in its normal state, and the icon goes.
    x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
       QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("--repeat"),
       QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(kCaption), kWaitMs);
    const QString window = visibleWindows(QStringLiteral("--name"), kCaption).first();
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
