// The real program under the confinement the watcher's systemd unit asks for (its system-call
// filter, socket families, no writable executable memory), set up by a helper since no service
// manager runs here: a call outside it kills the program. With the password in a keyring of the
// test's own, an update reaches the keyring and the reference server; the watcher starts, reads
// its settings again, and ends on SIGTERM.

#include "PrivateKeyring.h"
#include "ScriptRun.h"

#include <QtTest>

#include <csignal>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kHelper = QStringLiteral(CORVANE_CONFINEMENT);
const QString kUnit = QStringLiteral(CORVANE_UNIT);
} // namespace

class tst_EndToEndConfinement : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        mServer.kill();
        mServer.waitForFinished();
    }
    void updateAndWatcherRunConfined();

private:
    PrivateKeyring mKeyring;
    QProcess mServer;
    quint16 mPort = 0;
};

void tst_EndToEndConfinement::initTestCase()
{
    QProcess probe;
    probe.start(kHelper, {kUnit, QStringLiteral("/bin/true")});
    if (!probe.waitForFinished(ScriptRun::kWaitMs) || probe.exitCode() != 0)
        QSKIP(qPrintable("the unit's confinement cannot be set up here (python3-seccomp, systemd-analyze): " +
                         probe.readAllStandardError() + "; skipping"));
    if (const QString why = mKeyring.start(); !why.isEmpty())
        QSKIP(qPrintable(why + QStringLiteral("; skipping")));
    mServer.start(QStringLiteral(CORVANE_UPDATE_SERVER),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                   QStringLiteral("alice:pw:home.dyn.brevant.example")});
    QVERIFY(mServer.waitForReadyRead(ScriptRun::kWaitMs));
    const QByteArray listening = mServer.readLine().trimmed();
    mPort = listening.mid(listening.lastIndexOf(':') + 1).toUShort();
    QVERIFY2(mPort > 0, listening.constData());
}

void tst_EndToEndConfinement::updateAndWatcherRunConfined()
{
    ScriptRun direct(kProgram);
    QFile settings(direct.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Settings]\nServer=127.0.0.1\nPort=" + QByteArray::number(mPort) +
                   "\nUsername=alice\nPassword=pw\nSubDomain=home\n");
    settings.close();
    QCOMPARE(direct.run({QStringLiteral("--password-store"), QStringLiteral("keyring")}), 0);

    ScriptRun confined(kHelper);
    const QStringList variables = {QStringLiteral("XDG_CONFIG_HOME=") + direct.home.filePath("config"),
                                   QStringLiteral("XDG_STATE_HOME=") + direct.home.filePath("state"),
                                   QStringLiteral("XDG_RUNTIME_DIR=") + direct.home.filePath("runtime"),
                                   // The leak checker of a sanitizer build stops the threads with ptrace
                                   // at the end, which the filter forbids; no service runs such a build.
                                   QStringLiteral("ASAN_OPTIONS=detect_leaks=0")};
    QByteArray out;
    QByteArray err;
    QCOMPARE(confined.run({kUnit, kProgram, QStringLiteral("--update")}, &out, &err, variables), 0);
    QVERIFY2(out.contains(" - home.dyn.brevant.example updated."), out.constData() + err);

    QProcess watcher;
    watcher.setProcessEnvironment(confined.environment(variables));
    watcher.start(kHelper, {kUnit, kProgram, QStringLiteral("--watch")});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += watcher.readAllStandardOutput()).contains(" - Watching "),
                             ScriptRun::kWaitMs);
    ::kill(static_cast<pid_t>(watcher.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT((said += watcher.readAllStandardOutput()).contains(" - Settings read again."),
                             ScriptRun::kWaitMs);
    watcher.terminate();
    QVERIFY(watcher.waitForFinished(ScriptRun::kWaitMs));
    QCOMPARE(watcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watcher.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_EndToEndConfinement)
#include "tst_EndToEndConfinement.moc"
