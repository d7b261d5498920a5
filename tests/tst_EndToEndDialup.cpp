// In a network namespace of its own: a point-to-point link named ppp0 gets its carrier, the
// real program notices it and posts its address to the reference server; the carrier goes
// and the program notices that too.
//
// The test runs itself again inside "unshare -n -m", where it may create devices freely.

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
const char* const kInsideVariable = "CORVANE_INSIDE_NAMESPACE";
constexpr int kWaitMs = 30000;

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class tst_EndToEndDialup : public QObject
{
    Q_OBJECT
private slots:
    void linkComingUpPostsTheAddressAndItsLossIsLogged();

private:
    void outside();
    void inside();
    QString copyLog(const QString& window);

    QString mDisplay;
};

void tst_EndToEndDialup::linkComingUpPostsTheAddressAndItsLossIsLogged()
{
    if (qEnvironmentVariableIsSet(kInsideVariable))
        inside();
    else
        outside();
}

void tst_EndToEndDialup::outside()
{
    for (const char* tool : {"unshare", "ip", "mount", "Xvfb", "xdotool", "xclip"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/bootstrap installs it); skipping")
                                 .arg(QLatin1String(tool))));
    }
    if (!QFile::exists(QStringLiteral("/dev/net/tun")))
        QSKIP("/dev/net/tun is missing; skipping the dial-up end-to-end test");
    QString why;
    if (!run(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("true")},
             &why))
        QSKIP(qPrintable(
            QStringLiteral("cannot make a network namespace here (%1); skipping").arg(why.trimmed())));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kInsideVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("--"),
                                            QCoreApplication::applicationFilePath(),
                                            QStringLiteral("linkComingUpPostsTheAddressAndItsLossIsLogged")});
    QVERIFY(child.waitForFinished(4 * kWaitMs));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("PASS   : tst_EndToEndDialup::linkComingUp")),
             qPrintable(output));
}

QString tst_EndToEndDialup::copyLog(const QString& window)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    QProcess xdotool;
    xdotool.setProcessEnvironment(env);
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                   QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")});
    xdotool.waitForFinished(kWaitMs);
    QTest::qWait(200);
    QProcess xclip;
    xclip.setProcessEnvironment(env);
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    xclip.waitForFinished(kWaitMs);
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

void tst_EndToEndDialup::inside()
{
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

    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("runtime")));

    // The reference server, listening inside the namespace.
    QProcess server;
    server.start(kServer, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                           QStringLiteral("dial:pw:linked.dyn.brevant.example")});
    QVERIFY(server.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), kWaitMs);
    const QString listening = QString::fromLatin1(server.readLine()).trimmed();
    const QString port = listening.section(QLatin1Char(':'), -1);
    QVERIFY2(port.toUInt() > 0, qPrintable(listening));

    QFile ini(home.filePath(QStringLiteral("config/Corvane DynDNS.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(
        QStringLiteral("[Settings]\nServer=127.0.0.1\nPort=%1\nUsername=dial\nPassword=pw\nSubDomain=linked\n"
                       "UpdateOnConnection=True\n")
            .arg(port)
            .toLatin1());
    ini.close();

    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), kWaitMs);
    mDisplay = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());

    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QLatin1String(kInsideVariable));
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(kProgram);
    QVERIFY(client.waitForStarted());

    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QProcess search;
            search.setProcessEnvironment(env);
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                     QStringLiteral("^Corvane DynDNS 1.9 - By Vexlin$")});
            search.waitForFinished(kWaitMs);
            window = QString::fromLatin1(search.readAllStandardOutput())
                         .section(QLatin1Char('\n'), 0, 0)
                         .trimmed();
            return !window.isEmpty();
        }(),
        kWaitMs);

    // A link that is up without carrier is no connection: nothing happens for a while.
    QTest::qWait(1500);
    QVERIFY(!copyLog(window).contains(QStringLiteral("Internet connection")));

    QProcess attach;
    attach.start(kTunAttach, {QStringLiteral("ppp0")});
    QVERIFY(attach.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), kWaitMs);
    const QString accepted = QString::fromLatin1(server.readLine()).trimmed();
    QVERIFY2(accepted.startsWith(QStringLiteral("update linked.dyn.brevant.example 127.0.0.1")),
             qPrintable(accepted));

    QString log;
    QTRY_VERIFY_WITH_TIMEOUT((log = copyLog(window)).contains(QStringLiteral(" - Disconnected.")), kWaitMs);
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
        copyLog(window).contains(QStringLiteral(" - Internet connection no longer detected.")), kWaitMs);

    client.terminate();
    QVERIFY(client.waitForFinished(kWaitMs));
    QCOMPARE(client.exitCode(), 0);
    server.kill();
    xvfb.terminate();
    server.waitForFinished();
    xvfb.waitForFinished();
}

QTEST_GUILESS_MAIN(tst_EndToEndDialup)
#include "tst_EndToEndDialup.moc"
