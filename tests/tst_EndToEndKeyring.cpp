// The password in a real keyring (a Secret Service of the test's own on a private bus): the
// real program moves it there and back, a run from a script sends it to the reference server,
// the options dialog writes it there and never into the file, and a move killed at any moment
// leaves it readable.

#include "FakeWindowing.h"
#include "PrivateKeyring.h"
#include "ScriptRun.h"
#include "app/Identity.h"
#include "platform/qt/IniText.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "settings/CSettings.h"
#include "settings/frmOptions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kPassword = QStringLiteral("s3cret pw#1");
const QString kAccount = QStringLiteral("alice@home.dyn.brevant.example");
constexpr int kKills = 60;
} // namespace

class tst_EndToEndKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void movingInAndOutKeepsEveryByte();
    void updateSendsThePasswordFromTheKeyring();
    void optionsDialogLeavesNoPasswordInTheFile();
    void moveWaitsForTheWindowToEnd();
    void killedMoveNeverLosesThePassword();
    void stoppedKeyringGetsNothingSent();

private:
    QByteArray settingsText() const;
    // The password where the settings say it is, or what is wrong.
    QString readablePassword();
    QStringList move(const char* place) { return {QStringLiteral("--password-store"), QLatin1String(place)}; }

    PrivateKeyring mKeyring;
    QProcess mServer;
    QString mPort;
    std::unique_ptr<ScriptRun> mScript;
    std::unique_ptr<QtSecretStore> mSecrets;
    QByteArray mWritten; // the settings as the program writes them
};

void tst_EndToEndKeyring::initTestCase()
{
    if (const QString why = mKeyring.start(); !why.isEmpty())
        QSKIP(qPrintable(why + QStringLiteral("; skipping")));
    mSecrets = std::make_unique<QtSecretStore>(identity::kApplicationId);
    mServer.start(kServer,
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                   QStringLiteral("alice:") + kPassword + QStringLiteral(":home.dyn.brevant.example")});
    QVERIFY(mServer.waitForReadyRead(ScriptRun::kWaitMs));
    const QByteArray listening = mServer.readLine().trimmed();
    mPort = QString::fromLatin1(listening.mid(listening.lastIndexOf(':') + 1));
    QVERIFY2(mPort.toUInt() > 0, listening.constData());
}

void tst_EndToEndKeyring::cleanupTestCase()
{
    mServer.terminate();
    mServer.waitForFinished();
}

void tst_EndToEndKeyring::init()
{
    mScript = std::make_unique<ScriptRun>(kProgram);
    mWritten =
        "; mine\n[Settings]\nDomain=0\nSubDomain=home\nUsername=alice\nPassword=" + kPassword.toLatin1() +
        "\nServer=127.0.0.1\nPort=" + mPort.toLatin1() +
        "\nCurrentIP=True\nOtherIP=127.0.0.1\nUpdateOnConnection=False\nMinimizeToSystemTray=False\n\n"
        "[Other]\nkept=1\n";
    QFile file(mScript->settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(mWritten) == mWritten.size());
    try {
        mSecrets->remove(kAccount);
    } catch (const Failure& failure) {
        QFAIL(qPrintable(failure.description));
    }
}

QByteArray tst_EndToEndKeyring::settingsText() const
{
    QFile file(mScript->settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString tst_EndToEndKeyring::readablePassword()
{
    const QHash<QString, QString> values = IniText::groupValues(settingsText(), CSettings::kSection);
    if (values.value(CSettings::kPasswordStoreKey) != CSettings::kKeyringValue)
        return values.value(QStringLiteral("Password"));
    try {
        return mSecrets->read(kAccount);
    } catch (const Failure& failure) {
        return failure.description;
    }
}

void tst_EndToEndKeyring::movingInAndOutKeepsEveryByte()
{
    QByteArray out;
    QCOMPARE(mScript->run(move("keyring"), &out), 0);
    QCOMPARE(out, "Password: in the keyring (service example.vexlin.CorvaneDynDNS, account " +
                      kAccount.toLatin1() + ")\n");
    QByteArray inKeyring = mWritten;
    inKeyring.replace("Password=" + kPassword.toLatin1(), "Password=");
    inKeyring.replace("MinimizeToSystemTray=False\n", "MinimizeToSystemTray=False\nPasswordStore=keyring\n");
    QCOMPARE(settingsText(), inKeyring);
    QCOMPARE(mSecrets->read(kAccount), kPassword);
    QCOMPARE(mScript->run(move("keyring")), 0); // there already
    QCOMPARE(settingsText(), inKeyring);

    QCOMPARE(mScript->run(move("file"), &out), 0);
    QCOMPARE(out, QByteArray("Password: set, in the settings file\n"));
    QCOMPARE(settingsText(), mWritten);
    QVERIFY_THROWS_EXCEPTION(Failure, mSecrets->read(kAccount));
}

void tst_EndToEndKeyring::updateSendsThePasswordFromTheKeyring()
{
    QCOMPARE(mScript->run(move("keyring")), 0);
    QByteArray out;
    QCOMPARE(mScript->run({QStringLiteral("--update")}, &out), 0);
    QVERIFY2(out.contains(" - home.dyn.brevant.example updated.\n"), out.constData());
}

void tst_EndToEndKeyring::optionsDialogLeavesNoPasswordInTheFile()
{
    QCOMPARE(mScript->run(move("keyring")), 0);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(mScript->home.filePath(QStringLiteral("config"))));
    QtSettingsStore store;
    FakeWindowing windowing;
    gSettings.create(store, *mSecrets, windowing);
    QString shown;
    frmOptions::Display(windowing, [&](frmOptions& dialog) {
        auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        shown = password->text();
        password->setText(QStringLiteral("changed"));
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    gSettings.release();
    QCOMPARE(windowing.reports, QStringList());
    QCOMPARE(shown, kPassword);
    QVERIFY2(settingsText().contains("\nPassword=\n") && !settingsText().contains("changed"),
             settingsText().constData());
    QCOMPARE(mSecrets->read(kAccount), QStringLiteral("changed"));
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
    QCOMPARE(mScript->run(move("keyring"), nullptr, &err), 75);
    QVERIFY2(err.contains("runs in its window"), err.constData());
    QCOMPARE(settingsText(), mWritten);
    window.kill();
    window.waitForFinished();
}

void tst_EndToEndKeyring::killedMoveNeverLosesThePassword()
{
    // How long a whole move takes here, so that the kills fall before, inside and after it.
    QElapsedTimer took;
    took.start();
    QCOMPARE(mScript->run(move("keyring")), 0);
    const qint64 moveMs = took.elapsed();
    int killed = 0;
    for (int i = 0; i < kKills; ++i) {
        const bool inKeyring = settingsText().contains("PasswordStore=keyring");
        QProcess program;
        program.setProcessEnvironment(mScript->environment());
        QSignalSpy finished(&program, &QProcess::finished);
        program.start(kProgram, move(inKeyring ? "file" : "keyring"));
        QTimer::singleShot(QRandomGenerator::global()->bounded(int(moveMs * 3 / 2) + 1), &program,
                           &QProcess::kill);
        QVERIFY(finished.wait(ScriptRun::kWaitMs));
        killed += program.exitStatus() == QProcess::CrashExit ? 1 : 0;
        QCOMPARE(readablePassword(), kPassword);
    }
    qInfo("a move took %lld ms; %d of %d moves were killed before their end", moveMs, killed, kKills);
}

void tst_EndToEndKeyring::stoppedKeyringGetsNothingSent()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QFile file(mScript->settingsFile());
    mWritten.replace("Port=" + mPort.toLatin1(), "Port=" + QByteArray::number(server.serverPort()));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(mWritten) == mWritten.size());
    file.close();
    QCOMPARE(mScript->run(move("keyring")), 0);
    const QByteArray inKeyring = settingsText();
    mKeyring.stop();
    QByteArray err;
    QCOMPARE(mScript->run({QStringLiteral("--update")}, nullptr, &err), 3);
    QVERIFY2(err.contains("from the keyring"), err.constData());
    QVERIFY(!server.hasPendingConnections());
    QCOMPARE(mScript->run(move("file"), nullptr, &err), 3);
    QVERIFY2(err.contains("the password stays in the keyring"), err.constData());
    QCOMPARE(settingsText(), inKeyring);
    QCOMPARE(mKeyring.resume(), QString());
}

QTEST_MAIN(tst_EndToEndKeyring)
#include "tst_EndToEndKeyring.moc"
