// In a network namespace of its own: a point-to-point link named ppp0 gets its carrier, the
// real program notices it and posts its address to the reference server; the carrier goes
// and the program notices that too.
//
// The test runs itself again inside "unshare -n -m", where it may create devices freely.

#include "NetworkNamespace.h"
#include "VirtualDisplay.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kTunAttach = QStringLiteral(CORVANE_TUN_ATTACH);
constexpr int kWaitMs = VirtualDisplay::kWaitMs;
using networkNamespace::run;

} // namespace

class tst_EndToEndDialup : public QObject
{
    Q_OBJECT
private slots:
    void linkComingUpPostsTheAddressAndItsLossIsLogged();

private:
    void outside();
    void inside();
    QString copyLog(const VirtualDisplay& screen, const QString& window);
};

void tst_EndToEndDialup::linkComingUpPostsTheAddressAndItsLossIsLogged()
{
    if (networkNamespace::inside())
        inside();
    else
        outside();
}

void tst_EndToEndDialup::outside()
{
    const QString why =
        networkNamespace::unavailable({QStringLiteral("ip"), QStringLiteral("mount"), QStringLiteral("Xvfb"),
                                       QStringLiteral("xdotool"), QStringLiteral("xclip")},
                                      {QStringLiteral("-n"), QStringLiteral("-m")});
    if (!why.isEmpty())
        QSKIP(qPrintable(why + QStringLiteral("; skipping")));
    if (!QFile::exists(QStringLiteral("/dev/net/tun")))
        QSKIP("/dev/net/tun is missing; skipping the dial-up end-to-end test");

    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    networkNamespace::startInside(child, {QStringLiteral("-n"), QStringLiteral("-m")},
                                  {QStringLiteral("linkComingUpPostsTheAddressAndItsLossIsLogged")});
    const bool finished = child.waitForFinished(8 * kWaitMs);
    if (!finished)
        child.kill();
    child.waitForFinished();
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(finished, qPrintable(QStringLiteral("the test inside the namespace hung:\n") + output));
    QVERIFY2(child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("PASS   : tst_EndToEndDialup::linkComingUp")),
             qPrintable(output));
}

// The log as the user would copy it: select all in the log box, copy, read the clipboard.
// Empty while the focus or the copy has not arrived yet; callers wait for what they expect.
QString tst_EndToEndDialup::copyLog(const VirtualDisplay& screen, const QString& window)
{
    // No window manager here: focus is given straight, without waiting for one to confirm it.
    screen.run({QStringLiteral("xdotool"), QStringLiteral("windowfocus"), window});
    if (screen.run({QStringLiteral("xdotool"), QStringLiteral("getwindowfocus")}).trimmed() != window)
        return QString();
    screen.run({QStringLiteral("xclip"), QStringLiteral("-i"), QStringLiteral("-selection"),
                QStringLiteral("clipboard"), QStringLiteral("/dev/null")});
    screen.run({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("ctrl+a"),
                QStringLiteral("ctrl+c")});
    return screen.run({QStringLiteral("xclip"), QStringLiteral("-o"), QStringLiteral("-selection"),
                       QStringLiteral("clipboard")});
}

void tst_EndToEndDialup::inside()
{
    // X sockets and compiled keymaps of its own: the X server in here must not replace a server
    // outside in any of its files.
    for (const QString& folder : {QStringLiteral("/tmp/.X11-unix"), QStringLiteral("/var/lib/xkb")}) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(run(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("tmpfs"), folder}));
    }
    QString output;
    QVERIFY2(
        run(QStringLiteral("mount"),
            {QStringLiteral("-t"), QStringLiteral("sysfs"), QStringLiteral("sysfs"), QStringLiteral("/sys")},
            &output),
        qPrintable(output));
    QVERIFY2(run(QStringLiteral("ip"),
                 {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
                 &output),
             qPrintable(output));
    QVERIFY2(run(QStringLiteral("ip"),
                 {QStringLiteral("tuntap"), QStringLiteral("add"), QStringLiteral("dev"),
                  QStringLiteral("ppp0"), QStringLiteral("mode"), QStringLiteral("tun")},
                 &output),
             qPrintable(output));
    QVERIFY2(
        run(QStringLiteral("ip"),
            {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("ppp0"), QStringLiteral("up")},
            &output),
        qPrintable(output));

    VirtualDisplay screen;

    // The reference server, listening inside the namespace.
    QProcess server;
    server.start(kServer, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                           QStringLiteral("dial:pw:linked.dyn.brevant.example")});
    QVERIFY(server.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), kWaitMs);
    const QString listening = QString::fromLatin1(server.readLine()).trimmed();
    const QString port = listening.section(QLatin1Char(':'), -1);
    QVERIFY2(port.toUInt() > 0, qPrintable(listening));

    QFile ini(screen.settingsFile());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(
        QStringLiteral("[Settings]\nServer=127.0.0.1\nPort=%1\nUsername=dial\nPassword=pw\nSubDomain=linked\n"
                       "UpdateOnConnection=True\n")
            .arg(port)
            .toLatin1());
    ini.close();

    // A display number far above those the servers outside pick for themselves (from 0 up):
    // not every sandbox keeps the servers' abstract socket names apart by network namespace.
    QVERIFY2(screen.start(1000 + static_cast<int>(QCoreApplication::applicationPid() % 5000)),
             "Xvfb did not start");
    QProcess client;
    QProcessEnvironment env = screen.programEnvironment();
    env.remove(QLatin1String(networkNamespace::kInsideVariable));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(kProgram);
    QVERIFY(client.waitForStarted());

    const QString caption = VirtualDisplay::mainWindowName();
    QTRY_VERIFY_WITH_TIMEOUT(screen.windowShown(caption), kWaitMs);
    const QString window = screen.visibleWindows(QStringLiteral("--name"), caption).first();

    // A link that is up without carrier is no connection: nothing happens for a while.
    QTest::qWait(1500);
    QVERIFY(!server.canReadLine()); // nothing was posted

    QProcess attach;
    attach.start(kTunAttach, {QStringLiteral("ppp0")});
    QVERIFY(attach.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), kWaitMs);
    const QString accepted = QString::fromLatin1(server.readLine()).trimmed();
    QVERIFY2(accepted.startsWith(QStringLiteral("update linked.dyn.brevant.example 127.0.0.1")),
             qPrintable(accepted));

    QString log;
    QTRY_VERIFY_WITH_TIMEOUT((log = copyLog(screen, window)).contains(QStringLiteral(" - Disconnected.")),
                             kWaitMs);
    const QStringList expected = {
        QStringLiteral(" - Internet connection detected."),
        QStringLiteral(" - Connecting to 127.0.0.1:") + port + QStringLiteral("..."),
        QStringLiteral(" - Connected."), QStringLiteral(" - linked.dyn.brevant.example updated."),
        QStringLiteral(" - Disconnected.")};
    qsizetype at = 0;
    for (const QString& message : expected) {
        at = log.indexOf(message, at);
        QVERIFY2(at >= 0,
                 qPrintable(QStringLiteral("missing in order: ") + message + QStringLiteral("\n") + log));
    }

    attach.kill();
    attach.waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(
        copyLog(screen, window).contains(QStringLiteral(" - Internet connection no longer detected.")),
        kWaitMs);

    client.terminate();
    QVERIFY(client.waitForFinished(kWaitMs));
    QCOMPARE(client.exitCode(), 0);
    server.kill();
    server.waitForFinished();
}

QTEST_GUILESS_MAIN(tst_EndToEndDialup)
#include "tst_EndToEndDialup.moc"
