// The real program run once from a script, with no display at all, against the reference
// update server over TCP on 127.0.0.1: what it prints and the status it ends with.

#include "OneShotServer.h"
#include "ScriptRun.h"
#include "history/History.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
constexpr int kWaitMs = ScriptRun::kWaitMs;
} // namespace

class tst_OneShot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void conversationEndsWithItsStatus_data();
    void conversationEndsWithItsStatus();
    void runsBesideTheProgramInItsWindow();
    void statusShowsTheSettingsButNotThePassword();
    void unknownSwitchIsAUsageError();
    void interruptedRunSaysSo();
    void outputClosedByItsReaderDoesNotStopTheRun();
    void windowWithoutADisplaySaysSo();
    void relativeConfigHomeIsIgnored_data();
    void relativeConfigHomeIsIgnored();
    void historyOfARun_data();
    void historyOfARun();
    void passwordPlaceWithoutAKeyring_data();
    void passwordPlaceWithoutAKeyring();
    void addressFromIsStoredAlone_data();
    void addressFromIsStoredAlone();
    void addressFromAloneAsksTheConnection();

private:
    void writeSettings(const QString& port, const QString& password);

    QProcess mServer;
    QString mPort;
    std::unique_ptr<ScriptRun> mScript;
};

void tst_OneShot::initTestCase()
{
    mServer.start(kServer, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                            QStringLiteral("alice:pw:home.dyn.brevant.example")});
    QVERIFY(mServer.waitForReadyRead(kWaitMs));
    const QByteArray listening = mServer.readLine().trimmed();
    mPort = QString::fromLatin1(listening.mid(listening.lastIndexOf(':') + 1));
    QVERIFY2(mPort.toUInt() > 0, listening.constData());
}

void tst_OneShot::cleanupTestCase()
{
    mServer.terminate();
    mServer.waitForFinished();
}

void tst_OneShot::init()
{
    mScript = std::make_unique<ScriptRun>(kProgram);
    QVERIFY(mScript->home.isValid());
}

void tst_OneShot::writeSettings(const QString& port, const QString& password)
{
    QFile ini(mScript->settingsFile());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[Settings]\nServer=127.0.0.1\nPort=%1\nUsername=alice\nPassword=%2\n"
                             "SubDomain=home\n")
                  .arg(port, password)
                  .toLatin1());
}

void tst_OneShot::conversationEndsWithItsStatus_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("printed");
    QTest::addColumn<QByteArray>("errors");
    QTest::newRow("update accepted") << "server"
                                     << "pw" << QStringList{"--update"} << 0
                                     << QByteArray(" - home.dyn.brevant.example updated.\n") << QByteArray();
    QTest::newRow("offline accepted") << "server"
                                      << "pw" << QStringList{"--offline"} << 0
                                      << QByteArray(" - home.dyn.brevant.example offline.\n") << QByteArray();
    QTest::newRow("quiet") << "server"
                           << "pw" << QStringList{"--update", "--quiet"} << 0 << QByteArray() << QByteArray();
    QTest::newRow("wrong password") << "server"
                                    << "nope" << QStringList{"--update"} << 1 << QByteArray()
                                    << QByteArray(" - Error: Wrong user name or password.\n");
    QTest::newRow("server stopped") << "closed"
                                    << "pw" << QStringList{"--update", "--quiet"} << 2 << QByteArray()
                                    << QByteArray(" - Error: ");
    QTest::newRow("unreadable port") << "80x"
                                     << "pw" << QStringList{"--update"} << 3 << QByteArray()
                                     << QByteArray("the setting Port in ");
    for (const char* port : {"0", "65536", "-1"})
        QTest::addRow("port %s", port) << port << "pw" << QStringList{"--update"} << 3 << QByteArray()
                                       << QByteArray("the setting Port in ");
    QTest::newRow("port 0, status") << "0"
                                    << "pw" << QStringList{"--status"} << 3 << QByteArray()
                                    << QByteArray("the setting Port in ");
    for (const char* request : {"--update", "--status"})
        QTest::addRow("file its owner may not read, %s", request)
            << "unreadable file"
            << "pw" << QStringList{request} << 3 << QByteArray()
            << QByteArray("cannot read the settings from ");
    QTest::newRow("server's control characters")
        << "hostile greeting"
        << "pw" << QStringList{"--update"} << 2
        << QByteArray(" - Server: \\x1b[2J\\x1b]0;title\\x07 \\x00 tail\n") << QByteArray(" - Error: ");
    QTest::newRow("long reply, cut as in the window")
        << "long greeting"
        << "pw" << QStringList{"--update"} << 2 << QByteArray("x\u2026\n") << QByteArray(" - Error: ");
    QTest::newRow("refusal, then acceptance")
        << "refusal then acceptance"
        << "pw" << QStringList{"--update"} << 0 << QByteArray(" - home.dyn.brevant.example updated.\n")
        << QByteArray(" - Error: busy.\n");
}

void tst_OneShot::conversationEndsWithItsStatus()
{
    QFETCH(QString, port);
    QFETCH(QString, password);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, printed);
    QFETCH(QByteArray, errors);
    static const char hostile[] = "OK \x1b[2J\x1b]0;title\a \0 tail\r\n";
    const QMap<QString, QByteArray> scripts = {
        {QStringLiteral("hostile greeting"), QByteArray(hostile, sizeof hostile - 1)},
        {QStringLiteral("long greeting"), "OK " + QByteArray(600, 'x') + "\r\n"},
        {QStringLiteral("refusal then acceptance"),
         "OK hi\r\nERR busy\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\nBYE\r\n"}};
    std::optional<OneShotServer> scripted;
    const bool unreadable = port == QLatin1String("unreadable file");
    if (port == QLatin1String("server") || unreadable) {
        port = mPort;
    } else if (scripts.contains(port)) {
        scripted.emplace(scripts.value(port));
        port = QString::number(scripted->server.serverPort());
    } else if (port == QLatin1String("closed")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = QString::number(probe.serverPort());
    }
    writeSettings(port, password);
    QFile file(mScript->settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    if (unreadable)
        QVERIFY(file.setPermissions(QFile::WriteOwner));

    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run(arguments, &out, &err), status);
    if (!printed.isEmpty())
        QVERIFY2(out.contains(printed) && out.contains(" - Disconnected.\n"), out.constData());
    if (arguments.contains(QStringLiteral("--quiet")))
        QVERIFY2(out.isEmpty(), out.constData());
    QVERIFY2(errors.isEmpty() ? err.isEmpty() : err.contains(errors), err.constData());
    for (const char control : {'\x1b', '\a', '\0'})
        QVERIFY(!out.contains(control) && !err.contains(control));
    if (status == 3)
        QVERIFY2(err.contains(QFile::encodeName(mScript->settingsFile())), err.constData());

    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), before); // a run from a script never writes the settings
}

void tst_OneShot::runsBesideTheProgramInItsWindow()
{
    if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
        QSKIP("flock (util-linux) is not installed; skipping");
    writeSettings(mPort, QStringLiteral("pw"));
    // The windowed program holds its lock.
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--no-fork"),
                  mScript->home.filePath(QStringLiteral("runtime/Corvane DynDNS.lock")), QStringLiteral("-c"),
                  QStringLiteral("echo held; exec sleep 60")});
    QVERIFY(holder.waitForReadyRead(kWaitMs));
    QCOMPARE(mScript->run({QStringLiteral("--update"), QStringLiteral("--quiet")}), 0);
    holder.kill();
    holder.waitForFinished();
}

void tst_OneShot::statusShowsTheSettingsButNotThePassword()
{
    writeSettings(mPort, QStringLiteral("s3cret-pw"));
    QByteArray out;
    QCOMPARE(mScript->run({QStringLiteral("--status")}, &out), 0);
    QVERIFY2(out.contains("Server: 127.0.0.1\n") && out.contains("Port: " + mPort.toLatin1() + "\n") &&
                 out.contains("Password: set, in the settings file\n") &&
                 out.contains("Host: home.dyn.brevant.example\n"),
             out.constData());
    QVERIFY(!out.contains("s3cret-pw"));
}

void tst_OneShot::unknownSwitchIsAUsageError()
{
    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run({QStringLiteral("--version"), QStringLiteral("--UPDATE")}, &out, &err), 64);
    QVERIFY(out.isEmpty());
    QVERIFY2(err.contains("Usage: corvane-dyndns"), err.constData());
}

void tst_OneShot::interruptedRunSaysSo()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    writeSettings(QString::number(silent.serverPort()), QStringLiteral("pw"));
    QProcess program;
    program.setProcessEnvironment(mScript->environment());
    program.start(kProgram, {QStringLiteral("--update")});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).contains(" - Connected."), kWaitMs);
    program.terminate();
    QVERIFY(program.waitForFinished(kWaitMs));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAllStandardError().contains("interrupted"));
    // And the history says so.
    const QList<HistoryEntry> entries =
        History(mScript->home.filePath(QStringLiteral("state/corvane-dyndns/history"))).entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().outcome, ConversationResult::Outcome::NoConversation);
    QCOMPARE(entries.first().message,
             QStringLiteral("Error: The conversation was cut off: the run was interrupted by a signal."));
}

// Taken as it is, a relative one would put the files under the folder the program starts in.
void tst_OneShot::relativeConfigHomeIsIgnored_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("printed"); // after the home folder
    QTest::newRow("settings file") << QStringList{"--status"} << "/.config/Corvane DynDNS.ini\n";
    QTest::newRow("autostart entry") << QStringList{"--autostart", "on"}
                                     << "/.config/autostart/example.vexlin.CorvaneDynDNS.desktop\n";
}

void tst_OneShot::relativeConfigHomeIsIgnored()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, printed);
    QByteArray out;
    QCOMPARE(
        mScript->run(arguments, &out, nullptr, {"HOME=" + mScript->home.path(), "XDG_CONFIG_HOME=config"}),
        0);
    QVERIFY2(out.contains(QFile::encodeName(": " + mScript->home.path() + printed)), out.constData());
}

// As in "corvane-dyndns --update | head -1", with a reader that is gone before the first line.
void tst_OneShot::outputClosedByItsReaderDoesNotStopTheRun()
{
    writeSettings(mPort, QStringLiteral("pw"));
    QProcess shell;
    shell.setProcessEnvironment(mScript->environment());
    shell.start(
        QStringLiteral("bash"),
        {QStringLiteral("-c"), QStringLiteral("\"$0\" --update | true; exit ${PIPESTATUS[0]}"), kProgram});
    QVERIFY(shell.waitForFinished(kWaitMs));
    QCOMPARE(shell.exitCode(), 0);
}

void tst_OneShot::windowWithoutADisplaySaysSo()
{
    QByteArray err;
    QCOMPARE(mScript->run({}, nullptr, &err), 1);
    QVERIFY2(err.startsWith("corvane-dyndns: there is no display"), err.constData());
}

void tst_OneShot::historyOfARun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("printed"); // a pattern
    const QString time = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
    QTest::newRow("status") << QStringList{"--status"} << 0
                            << "\nLast accepted update: " + time +
                                   ", 127\\.0\\.0\\.1\nLast attempt: " + time + ", update, accepted\n$";
    QTest::newRow("history") << QStringList{"--history"} << 0
                             << "^time {17}runner  operation  host {22}address    outcome   message\n" +
                                    time +
                                    "  once    update     home\\.dyn\\.brevant\\.example  127\\.0\\.0\\.1  "
                                    "accepted  OK[^\n]*\n$";
    QTest::newRow("history that cannot be read") << QStringList{"--history"} << 3 << "^$";
}

// After an update from a script, what the history says of it.
void tst_OneShot::historyOfARun()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, printed);
    writeSettings(mPort, QStringLiteral("pw"));
    QCOMPARE(mScript->run({QStringLiteral("--update"), QStringLiteral("--quiet")}), 0);
    const QString history = mScript->home.filePath(QStringLiteral("state/corvane-dyndns/history"));
    if (status == 3)
        QVERIFY(QFile::remove(history) && QDir().mkpath(history));
    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run(arguments, &out, &err), status);
    QVERIFY2(QString::fromLocal8Bit(out).contains(QRegularExpression(printed)), out.constData());
    QVERIFY2(status == 3 ? err.startsWith("corvane-dyndns: the history " + QFile::encodeName(history) +
                                          " cannot be read: ")
                         : err.isEmpty(),
             err.constData());
}

void tst_OneShot::passwordPlaceWithoutAKeyring_data()
{
    QTest::addColumn<QString>("store"); // the PasswordStore value
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said"); // on either stream
    QTest::addColumn<bool>("storeKept");
    QTest::newRow("unreadable place, status")
        << "wallet" << QStringList{"--status"} << 3 << QByteArray("is neither keyring nor file") << true;
    QTest::newRow("unreadable place, mended") << "wallet" << QStringList{"--password-store", "file"} << 0
                                              << QByteArray("Password: set, in the settings file\n") << false;
    for (const char* request : {"--status", "--password-store"})
        QTest::addRow("no session bus, %s", request)
            << "keyring" << QStringList{request} << 0
            << QByteArray("which cannot be asked: there is no session bus") << true;
    QTest::newRow("no session bus") << "" << QStringList{"--password-store", "keyring"} << 3
                                    << QByteArray("no session bus to reach it on") << true;
}

// Moves and looks that need no keyring, and one that finds no session bus to reach it on.
void tst_OneShot::passwordPlaceWithoutAKeyring()
{
    QFETCH(QString, store);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, said);
    QFETCH(bool, storeKept);
    writeSettings(mPort, QStringLiteral("pw"));
    QFile ini(mScript->settingsFile());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("PasswordStore=" + store.toLatin1() + "\n");
    ini.close();
    const QString noBus =
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + mScript->home.filePath(QStringLiteral("no-bus"));
    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run(arguments, &out, &err, {noBus}), status);
    QVERIFY2((out + err).contains(said), (out + err).constData());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QCOMPARE(text.contains("PasswordStore="), storeKept);
    QVERIFY(text.contains("Password=pw\n"));
}

void tst_OneShot::addressFromIsStoredAlone_data()
{
    QTest::addColumn<QString>("stored"); // the AddressFrom line already in the file; empty: none
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said"); // on either stream
    QTest::addColumn<QString>("holds");   // the AddressFrom line afterwards; empty: the file as it was
    QTest::newRow("router") << "" << QStringList{"--address-from", "router"} << 0
                            << QByteArray("Address from: router\n") << "AddressFrom=router";
    QTest::newRow("URL over the one there")
        << "AddressFrom=connection" << QStringList{"--address-from", "https://ip.example:8443/ip"} << 0
        << QByteArray("Address from: https://ip.example:8443/ip\n")
        << "AddressFrom=https://ip.example:8443/ip";
    QTest::newRow("unreadable value, mended")
        << "AddressFrom=upnp" << QStringList{"--address-from", "auto"} << 0
        << QByteArray("Address from: auto\n") << "AddressFrom=auto";
    QTest::newRow("unreadable value, status")
        << "AddressFrom=upnp" << QStringList{"--status"} << 3
        << QByteArray("\"upnp\" is neither auto, connection, router nor an http:// or https:// URL") << "";
    QTest::newRow("unreadable value, alone") << "AddressFrom=upnp" << QStringList{"--address-from"} << 3
                                             << QByteArray("the setting AddressFrom in ") << "";
    QTest::newRow("other value") << "" << QStringList{"--address-from", "upnp"} << 64
                                 << QByteArray(
                                        "--address-from takes auto, connection, router or an http:// or "
                                        "https:// URL, not \"upnp\"")
                                 << "";
    QTest::newRow("file its owner may not read") << "" << QStringList{"--address-from", "router"} << 3
                                                 << QByteArray("cannot read the settings from ") << "";
    // Only the connection: no test asks the router of the network it runs on.
    QTest::newRow("status names it") << "AddressFrom=Connection" << QStringList{"--status"} << 0
                                     << QByteArray("\nAddress from: connection\nConnection: 127.0.0.1 "
                                                   "(a loopback address)\nRouter: not asked")
                                     << "";
}

// The choice is written as one key beside the ten, which stay as they were.
void tst_OneShot::addressFromIsStoredAlone()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, said);
    QFETCH(QString, holds);
    writeSettings(mPort, QStringLiteral("pw"));
    QFile ini(mScript->settingsFile());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("CurrentIP=True\nOtherIP=10.1.2.3\n" +
              (stored.isEmpty() ? QByteArray() : stored.toLatin1() + "\n"));
    ini.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray before = ini.readAll();
    ini.close();
    if (QTest::currentDataTag() == QLatin1String("file its owner may not read"))
        QVERIFY(ini.setPermissions(QFile::WriteOwner));
    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run(arguments, &out, &err), status);
    QVERIFY2((out + err).contains(said), (out + err).constData());
    QVERIFY(ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray after = ini.readAll();
    if (holds.isEmpty()) {
        QCOMPARE(after, before);
        return;
    }
    const auto withoutChoice = [](const QByteArray& text) {
        QList<QByteArray> lines = text.split('\n');
        lines.removeIf([](const QByteArray& line) { return line.startsWith("AddressFrom="); });
        return lines;
    };
    QCOMPARE(withoutChoice(after), withoutChoice(before));
    QVERIFY2(after.split('\n').contains(holds.toLatin1()), after.constData());
}

// Against the reference server on 127.0.0.1, with the connection's address chosen: no router is
// asked, nor any lookup service.
void tst_OneShot::addressFromAloneAsksTheConnection()
{
    writeSettings(mPort, QStringLiteral("pw"));
    QFile ini(mScript->settingsFile());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("AddressFrom=connection\n");
    ini.close();
    QByteArray out;
    QByteArray err;
    QCOMPARE(mScript->run({QStringLiteral("--address-from")}, &out, &err), 0);
    QCOMPARE(out, QByteArray("Address from: connection\n"
                             "Connection: 127.0.0.1 (a loopback address)\n"
                             "Router: not asked: the address comes from the connection alone\n"
                             "Lookup: not set\n"
                             "A post would use: 127.0.0.1 (the connection)\n"));
    QVERIFY2(err.isEmpty(), err.constData());
}

QTEST_GUILESS_MAIN(tst_OneShot)
#include "tst_OneShot.moc"
