// The real program on a panel that speaks StatusNotifier: a watcher and host of the test's
// own on a private session bus, under openbox. The item registers under the program's name,
// Activate brings the window back, and the exported popup menu's Update IP starts a
// conversation. A watcher that answers nothing leaves the program on the XEmbed tray.

#include "VirtualDisplay.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kHost = QStringLiteral(CORVANE_STATUS_NOTIFIER_HOST);
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kCaption = VirtualDisplay::mainWindowName();
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
constexpr int kWaitMs = VirtualDisplay::kWaitMs;
constexpr int kStarts = 10;
} // namespace

class tst_EndToEndStatusNotifier : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void activateBringsTheWindowBack();
    void menuUpdateIpStartsAConversation();
    void silentWatcherLeavesTheXEmbedTray();

private:
    QString x(const QStringList& arguments) { return mScreen.run(arguments); }
    bool startHost(bool mute);
    void stopProcess(QProcess& process);
    bool startMinimized(const QByteArray& settings = QByteArray());
    QString registeredItem();
    QDBusMessage callItem(const QString& interface, const QString& method, const QVariantList& arguments);
    bool windowRestored();

    VirtualDisplay mScreen;
    QProcess mWindowManager;
    QProcess mBus;
    QProcess mHost;
    QProcess mProgram;
    QString mAddress;
    QString mItem;
};

void tst_EndToEndStatusNotifier::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool", "xprop", "xwininfo", "openbox", "trayer", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/bootstrap installs it); skipping")
                                 .arg(QLatin1String(tool))));
    }
    if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import dbus, gi")}) != 0)
        QSKIP("python3-dbus or python3-gi is missing (scripts/bootstrap installs both); skipping the "
              "StatusNotifier test");
    QVERIFY2(mScreen.start(), "Xvfb did not start");
    QVERIFY2(mScreen.startWindowManager(mWindowManager), "openbox did not take the display");

    mBus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address=1")});
    QVERIFY(mBus.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(mBus.canReadLine(), kWaitMs);
    mAddress = QString::fromLatin1(mBus.readLine().trimmed());
    QDBusConnection bus = QDBusConnection::connectToBus(mAddress, QStringLiteral("panel"));
    QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
}

void tst_EndToEndStatusNotifier::cleanup()
{
    stopProcess(mProgram);
    stopProcess(mHost);
    mItem.clear();
}

void tst_EndToEndStatusNotifier::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
    stopProcess(mBus);
    stopProcess(mWindowManager);
}

void tst_EndToEndStatusNotifier::stopProcess(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool tst_EndToEndStatusNotifier::startHost(bool mute)
{
    QProcessEnvironment env = mScreen.toolEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), mAddress);
    mHost.setProcessEnvironment(env);
    mHost.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mHost.start(kPython, mute ? QStringList{kHost, QStringLiteral("--mute")} : QStringList{kHost});
    if (!mHost.waitForStarted())
        return false;
    QDeadlineTimer deadline(kWaitMs);
    while (!mHost.canReadLine() && !deadline.hasExpired())
        mHost.waitForReadyRead(100);
    return mHost.readLine().trimmed() == "ready";
}

bool tst_EndToEndStatusNotifier::startMinimized(const QByteArray& settings)
{
    QFile ini(mScreen.settingsFile());
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write("[Settings]\nMinimizeToSystemTray=True\n" + settings);
    ini.close();
    QProcessEnvironment env = mScreen.programEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), mAddress);
    mProgram.setProcessEnvironment(env);
    mProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mProgram.start(kProgram, {QStringLiteral("/MINIMIZE")});
    return mProgram.waitForStarted();
}

// "SERVICE PATH" of the item the host was told about, once it has been.
QString tst_EndToEndStatusNotifier::registeredItem()
{
    while (mItem.isEmpty() && mHost.canReadLine()) {
        const QString line = QString::fromLatin1(mHost.readLine().trimmed());
        if (line.startsWith(QStringLiteral("item ")))
            mItem = line.mid(5);
    }
    if (mItem.isEmpty())
        mHost.waitForReadyRead(100);
    return mItem;
}

QDBusMessage tst_EndToEndStatusNotifier::callItem(const QString& interface, const QString& method,
                                                  const QVariantList& arguments)
{
    const QString service = mItem.section(QLatin1Char(' '), 0, 0);
    const QString path = interface == QStringLiteral("com.canonical.dbusmenu")
                             ? QStringLiteral("/MenuBar")
                             : mItem.section(QLatin1Char(' '), 1);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection(QStringLiteral("panel")).call(call, QDBus::Block, kWaitMs);
}

bool tst_EndToEndStatusNotifier::windowRestored()
{
    const QString window =
        x({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--name"), kCaption})
            .section(QLatin1Char('\n'), 0, 0);
    return !window.isEmpty() &&
           x({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("WM_STATE")})
               .contains(QStringLiteral("window state: Normal")) &&
           x({QStringLiteral("xwininfo"), QStringLiteral("-id"), window})
               .contains(QStringLiteral("IsViewable"));
}

void tst_EndToEndStatusNotifier::activateBringsTheWindowBack()
{
    QVERIFY(startHost(false));
    for (int start = 1; start <= kStarts; ++start) {
        QVERIFY(startMinimized());
        QTRY_VERIFY_WITH_TIMEOUT(!registeredItem().isEmpty(), kWaitMs);
        QVERIFY(!mScreen.windowShown(kCaption));
        if (start == 1) {
            const QDBusMessage id = callItem(QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"), {kItemInterface, QStringLiteral("Id")});
            QCOMPARE(id.arguments().value(0).value<QDBusVariant>().variant().toString(),
                     QStringLiteral("Corvane DynDNS"));
            const QDBusMessage title =
                callItem(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                         {kItemInterface, QStringLiteral("Title")});
            QCOMPARE(title.arguments().value(0).value<QDBusVariant>().variant().toString(),
                     QStringLiteral("Corvane DynDNS"));
        }
        QCOMPARE(callItem(kItemInterface, QStringLiteral("Activate"), {0, 0}).type(),
                 QDBusMessage::ReplyMessage);
        QTRY_VERIFY2_WITH_TIMEOUT(windowRestored(), qPrintable(QStringLiteral("start %1").arg(start)),
                                  kWaitMs);
        stopProcess(mProgram);
        mItem.clear();
    }
}

void tst_EndToEndStatusNotifier::menuUpdateIpStartsAConversation()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QVERIFY(startHost(false));
    QVERIFY(startMinimized("Server=127.0.0.1\nPort=" + QByteArray::number(server.serverPort()) + '\n'));
    QTRY_VERIFY_WITH_TIMEOUT(!registeredItem().isEmpty(), kWaitMs);

    // The host reads the exported menu and sends a click on its Update IP.
    const QDBusMessage layout = callItem(QStringLiteral("com.canonical.dbusmenu"),
                                         QStringLiteral("GetLayout"), {0, -1, QStringList()});
    QCOMPARE(layout.type(), QDBusMessage::ReplyMessage);
    QList<int> ids;
    for (int id = 1; id <= 100; ++id)
        ids.append(id);
    const QDBusMessage reply =
        callItem(QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetGroupProperties"),
                 {QVariant::fromValue(ids), QStringList{QStringLiteral("label")}});
    int updateIp = -1;
    const QDBusArgument items = reply.arguments().value(0).value<QDBusArgument>();
    items.beginArray();
    while (!items.atEnd()) {
        int id = 0;
        QVariantMap properties;
        items.beginStructure();
        items >> id >> properties;
        items.endStructure();
        if (properties.value(QStringLiteral("label")).toString() == QStringLiteral("_Update IP"))
            updateIp = id;
    }
    items.endArray();
    QVERIFY2(updateIp > 0, "the exported menu has no Update IP");
    callItem(QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
             {updateIp, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    QVERIFY(server.waitForNewConnection(kWaitMs));
    QVERIFY(!mScreen.windowShown(kCaption));

    // Its end is announced through the desktop's notifications, the server's words as text.
    QTcpSocket* peer = server.nextPendingConnection();
    peer->write("ERR <a href=\"http://x.example/\">&</a>\r\nBYE\r\n");
    QVERIFY(peer->waitForBytesWritten(kWaitMs));
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += mHost.readAll()).contains("notify "), kWaitMs);
    QVERIFY2(said.contains("notify Error: &lt;a href=&quot;http://x.example/&quot;&gt;&amp;&lt;/a&gt;."),
             said.constData());
}

// Qt falls back to the XEmbed tray when the watcher does not answer; so does the program: a
// single click does nothing, a double-click restores.
void tst_EndToEndStatusNotifier::silentWatcherLeavesTheXEmbedTray()
{
    QVERIFY(startHost(true));
    QProcess tray;
    tray.setProcessEnvironment(mScreen.toolEnvironment());
    tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    QVERIFY(tray.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        !mScreen.visibleWindows(QStringLiteral("--class"), QStringLiteral("^trayer$")).isEmpty(), kWaitMs);
    QVERIFY(startMinimized());

    QString icon;
    const auto findIcon = [&] {
        for (const QString& window :
             mScreen.visibleWindows(QStringLiteral("--classname"), QStringLiteral("^corvane-dyndns$"))) {
            if (x({QStringLiteral("xdotool"), QStringLiteral("getwindowgeometry"), window})
                    .contains(QRegularExpression(QStringLiteral("Geometry: \\d\\dx\\d\\d\\n"))))
                icon = window;
        }
        return !icon.isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(findIcon(), kWaitMs);
    const auto click = [&](const QString& button, const QString& repeat) {
        x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
           QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("click"), QStringLiteral("--repeat"),
           repeat, QStringLiteral("--delay"), QStringLiteral("80"), button});
    };
    // A left click, then a right click: once the popup shows, the first click was handled.
    click(QStringLiteral("1"), QStringLiteral("1"));
    click(QStringLiteral("3"), QStringLiteral("1"));
    const auto popupShown = [&] {
        for (const QString& window :
             mScreen.visibleWindows(QStringLiteral("--classname"), QStringLiteral("^corvane-dyndns$"))) {
            if (window != icon &&
                x({QStringLiteral("xdotool"), QStringLiteral("getwindowname"), window}).trimmed() !=
                    kCaption.mid(1).chopped(1))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(popupShown(), kWaitMs);
    QVERIFY(!mScreen.windowShown(kCaption));
    // A click that comes while the popup is still open only closes it.
    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!popupShown(), kWaitMs);
    click(QStringLiteral("1"), QStringLiteral("2"));
    QTRY_VERIFY_WITH_TIMEOUT(windowRestored(), kWaitMs);
    stopProcess(tray);
}

QTEST_GUILESS_MAIN(tst_EndToEndStatusNotifier)
#include "tst_EndToEndStatusNotifier.moc"
