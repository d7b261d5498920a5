// The password in a real keyring (a Secret Service of the test's own on a private bus): the real
// program moves it there and back, sends it to the reference server, and never loses it to a kill;
// the options dialog writes it there and never into the file.

#include "FakeWindowing.h"
#include "PrivateKeyring.h"
#include "ScriptRun.h"
#include "platform/qt/IniText.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "settings/CSettings.h"
#include "ui/frmOptions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

namespace {
const QString kPassword = QStringLiteral("s3cret pw#1");
const QString kAccount = QStringLiteral("alice@home.dyn.brevant.example");
const QStringList kToKeyring = {QStringLiteral("--password-store"), QStringLiteral("keyring")};
const QStringList kToFile = {QStringLiteral("--password-store"), QStringLiteral("file")};
} // namespace

class tst_EndToEndKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { mServer.kill(); }
    void init();
    void movingInAndOutKeepsEveryByte();
    void conversationAndOptionsTakeThePasswordFromTheKeyring();
    void killedMoveNeverLosesThePassword();
    void stoppedKeyringGetsNothingSent_data();
    void stoppedKeyringGetsNothingSent();
    void moveWaitsForTheWindowToEnd();
    void keyringStartedAgainIsReached();

private:
    void writeSettings(quint16 port);
    QByteArray settingsText() const;

    PrivateKeyring mKeyring;
    QProcess mServer;
    quint16 mPort = 0;
    std::unique_ptr<ScriptRun> mScript;
    std::unique_ptr<QtSecretStore> mSecrets;
    QByteArray mWritten; // the settings as the program writes them
};

void tst_EndToEndKeyring::initTestCase()
{
    if (const QString why = mKeyring.start(); !why.isEmpty())
        QSKIP(qPrintable(why + QStringLiteral("; skipping")));
    mSecrets = std::make_unique<QtSecretStore>(identity::kApplicationId);
    mServer.start(QStringLiteral(CORVANE_UPDATE_SERVER),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                   QStringLiteral("alice:") + kPassword + QStringLiteral(":home.dyn.brevant.example")});
    QVERIFY(mServer.waitForReadyRead(ScriptRun::kWaitMs));
    const QByteArray listening = mServer.readLine().trimmed();
    mPort = listening.mid(listening.lastIndexOf(':') + 1).toUShort();
    QVERIFY2(mPort > 0, listening.constData());
}

void tst_EndToEndKeyring::init()
{
    mScript = std::make_unique<ScriptRun>(QStringLiteral(CORVANE_PROGRAM));
    writeSettings(mPort);
    keyringNow::remove(*mSecrets, kAccount);
}

void tst_EndToEndKeyring::writeSettings(quint16 port)
{
    mWritten =
        "; mine\n[Settings]\nDomain=0\nSubDomain=home\nUsername=alice\nPassword=" + kPassword.toLatin1() +
        "\nServer=127.0.0.1\nPort=" + QByteArray::number(port) +
        "\nCurrentIP=True\nOtherIP=127.0.0.1\nUpdateOnConnection=False\nMinimizeToSystemTray=False\n\n"
        "[Other]\nkept=1\n";
    QFile file(mScript->settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(mWritten) == mWritten.size());
}

QByteArray tst_EndToEndKeyring::settingsText() const
{
    QFile file(mScript->settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_EndToEndKeyring::movingInAndOutKeepsEveryByte()
{
    QByteArray out;
    QCOMPARE(mScript->run(kToKeyring, &out), 0);
    QCOMPARE(out, "Password: in the keyring (service example.vexlin.CorvaneDynDNS, account " +
                      kAccount.toLatin1() + ")\n");
    QByteArray inKeyring = mWritten;
    inKeyring.replace("Password=" + kPassword.toLatin1(), "Password=");
    inKeyring.replace("MinimizeToSystemTray=False\n", "MinimizeToSystemTray=False\nPasswordStore=keyring\n");
    QCOMPARE(settingsText(), inKeyring);
    QCOMPARE(keyringNow::read(*mSecrets, kAccount), kPassword);
    QCOMPARE(mScript->run(kToKeyring), 0); // there already
    QCOMPARE(settingsText(), inKeyring);
    QCOMPARE(mScript->run(kToFile, &out), 0);
    QCOMPARE(out, QByteArray("Password: set, in the settings file\n"));
    QCOMPARE(settingsText(), mWritten);
    QVERIFY_THROWS_EXCEPTION(Failure, keyringNow::read(*mSecrets, kAccount));
}

void tst_EndToEndKeyring::conversationAndOptionsTakeThePasswordFromTheKeyring()
{
    QCOMPARE(mScript->run(kToKeyring), 0);
    QByteArray out;
    QCOMPARE(mScript->run({QStringLiteral("--update")}, &out), 0); // the server took the PASS line
    QVERIFY2(out.contains(" - home.dyn.brevant.example updated.\n"), out.constData());

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(mScript->home.filePath(QStringLiteral("config"))));
    QtSettingsStore store;
    FakeWindowing windowing;
    gSettings.create(store, *mSecrets, windowing);
    QString shown;
    bool closed = false;
    // The dialog opens once the keyring has given the password, and closes once it took the new one.
    frmOptions::Display(
        windowing,
        [&](frmOptions& dialog) {
            shown = dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text();
            dialog.findChild<QLineEdit*>(QStringLiteral("txtUsername"))->setText(QStringLiteral("bob"));
            dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("changed"));
            dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        },
        std::shared_ptr<void>(nullptr, [&closed](void*) { closed = true; }));
    QTRY_VERIFY_WITH_TIMEOUT(closed, ScriptRun::kWaitMs);
    gSettings.release();
    QCOMPARE(windowing.reports, QStringList());
    QCOMPARE(shown, kPassword);
    QVERIFY2(settingsText().contains("\nPassword=\n") && !settingsText().contains("changed"),
             settingsText().constData());
    QCOMPARE(keyringNow::read(*mSecrets, QStringLiteral("bob@home.dyn.brevant.example")),
             QStringLiteral("changed"));
}

void tst_EndToEndKeyring::killedMoveNeverLosesThePassword()
{
    // How long a whole move takes here, so that the kills fall before, inside and after one.
    QElapsedTimer took;
    took.start();
    QCOMPARE(mScript->run(kToKeyring), 0);
    const int moveMs = int(took.elapsed());
    int killed = 0;
    for (int i = 0; i < 60; ++i) {
        const bool inKeyring = settingsText().contains("PasswordStore=keyring");
        QProcess program;
        program.setProcessEnvironment(mScript->environment());
        QSignalSpy finished(&program, &QProcess::finished);
        program.start(mScript->program, inKeyring ? kToFile : kToKeyring);
        QTimer::singleShot(QRandomGenerator::global()->bounded(moveMs * 3 / 2 + 1), &program,
                           &QProcess::kill);
        QVERIFY(finished.wait(ScriptRun::kWaitMs));
        killed += program.exitStatus() == QProcess::CrashExit ? 1 : 0;
        const QHash<QString, QString> values =
            IniText::groupValues(settingsText(), QStringLiteral("Settings"));
        if (values.value(QStringLiteral("PasswordStore")) == QLatin1String("keyring"))
            QCOMPARE(keyringNow::read(*mSecrets, kAccount), kPassword);
        else
            QCOMPARE(values.value(QStringLiteral("Password")), kPassword);
    }
    qInfo("a move took %d ms; %d of 60 moves were killed before their end", moveMs, killed);
}

void tst_EndToEndKeyring::stoppedKeyringGetsNothingSent_data()
{
    QTest::addColumn<bool>("frozen"); // stopped by SIGSTOP, rather than ended
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("ended") << false
                           << QByteArray("no keyring service (Secret Service) runs on the session bus");
    QTest::newRow("frozen") << true << QByteArray("the keyring service did not answer within 25 seconds");
}

void tst_EndToEndKeyring::stoppedKeyringGetsNothingSent()
{
    QFETCH(bool, frozen);
    QFETCH(QByteArray, said);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    writeSettings(server.serverPort());
    QCOMPARE(mScript->run(kToKeyring), 0);
    const QByteArray inKeyring = settingsText();
    if (frozen)
        mKeyring.freeze();
    else
        mKeyring.stop();
    const auto thawed = qScopeGuard([&] { mKeyring.thaw(); });
    // A hung keyring is waited for once, as long as one call may wait, and not much longer.
    QElapsedTimer took;
    took.start();
    QByteArray err;
    QCOMPARE(mScript->run({QStringLiteral("--update")}, nullptr, &err), 3);
    QVERIFY2(took.restart() < 35000 && err.contains("from the keyring: " + said), err.constData());
    QVERIFY(!server.hasPendingConnections());
    QCOMPARE(mScript->run(kToFile, nullptr, &err), 3);
    QVERIFY2(took.elapsed() < 35000 && err.contains(said) &&
                 err.contains("the password stays in the keyring"),
             err.constData());
    QCOMPARE(settingsText(), inKeyring);
    if (!frozen)
        QCOMPARE(mKeyring.resume(), QString());
}

// An update or a crash starts the keyring's service again under a program that runs on.
void tst_EndToEndKeyring::keyringStartedAgainIsReached()
{
    try {
        keyringNow::write(*mSecrets, kAccount, kPassword);
        mKeyring.stop();
        QCOMPARE(mKeyring.resume(), QString());
        QCOMPARE(keyringNow::read(*mSecrets, kAccount), kPassword);
    } catch (const Failure& failure) {
        QFAIL(qPrintable(failure.description));
    }
}

void tst_EndToEndKeyring::moveWaitsForTheWindowToEnd()
{
    if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
        QSKIP("flock (util-linux) is not installed; skipping");
    QProcess window; // holds the window's lock
    window.start(QStringLiteral("flock"),
                 {QStringLiteral("--no-fork"),
                  mScript->home.filePath(QStringLiteral("runtime/Corvane DynDNS.lock")), QStringLiteral("-c"),
                  QStringLiteral("echo held; exec sleep 60")});
    QVERIFY(window.waitForReadyRead(ScriptRun::kWaitMs));
    QByteArray err;
    QCOMPARE(mScript->run(kToKeyring, nullptr, &err), 75);
    QVERIFY2(err.contains("runs in its window"), err.constData());
    QCOMPARE(settingsText(), mWritten);
    window.kill();
    window.waitForFinished();
}

QTEST_MAIN(tst_EndToEndKeyring)
#include "tst_EndToEndKeyring.moc"
