// Starts the real program under a virtual X server: the window appears with its caption,
// a second copy ends at once, SIGTERM saves the settings, nothing the program started (a bus
// daemon, without a session bus) outlives it, the window's class is the one the menu entry
// names, a leftover lock stops nothing, a failed save does not hold up SIGTERM, and an update
// from the window's menu is what --status then reports.

#include "VirtualDisplay.h"
#include "platform/qt/Autostart.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kServer = QStringLiteral(CORVANE_UPDATE_SERVER);
const QString kCaption = VirtualDisplay::mainWindowName();
constexpr int kStartMilliseconds = 30000;

// Processes that run with the throwaway runtime folder in their environment: what the
// program started inherits it.
QStringList processesUsing(const QString& runtimeFolder)
{
    const QByteArray marker = "XDG_RUNTIME_DIR=" + QFile::encodeName(runtimeFolder) + '\0';
    QStringList found;
    for (const QString& pid :
         QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().contains(marker) &&
            command.open(QIODevice::ReadOnly))
            found.append(QString::fromLocal8Bit(command.readAll().replace('\0', ' ')));
    }
    return found;
}
} // namespace

class tst_EndToEndStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void versionAndHelpNeedNoWindow();
    void singleInstanceAndSavingOnSigterm();
    void leftoverLockDoesNotStopAStart();
    void failedSaveDoesNotHoldUpSigterm();
    void windowClassIsTheMenuEntrys();
    void statusShowsAnUpdateFromTheWindow();

private:
    bool startAndWaitForTheWindow(QProcess& program, const QStringList& arguments = {});

    VirtualDisplay mScreen;
};

void tst_EndToEndStartup::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("Xvfb or xdotool is not installed (scripts/bootstrap installs both); skipping the end-to-end "
              "test");
    QVERIFY2(mScreen.start(), "Xvfb did not start");
}

void tst_EndToEndStartup::versionAndHelpNeedNoWindow()
{
    QProcess program;
    QProcessEnvironment env = mScreen.programEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(kProgram, {QStringLiteral("--version")});
    QVERIFY(program.waitForFinished(kStartMilliseconds));
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), QByteArray("Corvane DynDNS 1.9.17\n"));

    program.start(kProgram, {QStringLiteral("--help")});
    QVERIFY(program.waitForFinished(kStartMilliseconds));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardOutput().startsWith("Usage: corvane-dyndns"));
}

void tst_EndToEndStartup::singleInstanceAndSavingOnSigterm()
{
    const QString iniPath = mScreen.settingsFile();
    QVERIFY(!QFile::exists(iniPath));

    QProcess first;
    QVERIFY(startAndWaitForTheWindow(first));

    QProcess second;
    second.setProcessEnvironment(mScreen.programEnvironment());
    second.start(kProgram);
    QVERIFY(second.waitForFinished(kStartMilliseconds));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(mScreen.windowShown(kCaption));

    QCOMPARE(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    QVERIFY(first.waitForFinished(kStartMilliseconds));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(processesUsing(mScreen.runtimeFolder()), QStringList());

    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Settings"));
    QStringList keys = ini.childKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"CurrentIP", "Domain", "MinimizeToSystemTray", "OtherIP", "Password", "Port",
                                "Server", "SubDomain", "UpdateOnConnection", "Username"}));
    QCOMPARE(ini.value(QStringLiteral("Port")).toString(), QStringLiteral("2345"));
    QCOMPARE(ini.value(QStringLiteral("Server")).toString(), QStringLiteral("update.brevant.example"));
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(iniPath).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
}

bool tst_EndToEndStartup::startAndWaitForTheWindow(QProcess& program, const QStringList& arguments)
{
    program.setProcessEnvironment(mScreen.programEnvironment());
    program.start(kProgram, arguments);
    if (!program.waitForStarted())
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kStartMilliseconds && program.state() == QProcess::Running) {
        if (mScreen.windowShown(kCaption))
            return true;
        QTest::qWait(50);
    }
    qWarning("the window did not appear; %s; the program %s, saying: %s", qPrintable(mScreen.state()),
             program.state() == QProcess::Running
                 ? "runs"
                 : qPrintable(QStringLiteral("ended with %1").arg(program.exitCode())),
             program.readAllStandardError().constData());
    return false;
}

// A lock file that a dead copy left behind, garbled, stops nothing.
void tst_EndToEndStartup::leftoverLockDoesNotStopAStart()
{
    QFile lock(mScreen.runtimeFolder() + QStringLiteral("/Corvane DynDNS.lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("garbage\n\x01\x02");
    lock.close();

    QProcess program;
    QVERIFY(startAndWaitForTheWindow(program));
    QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    QVERIFY(program.waitForFinished(kStartMilliseconds));
}

// The settings cannot be saved (the file is read-only): the report goes to standard error and
// the program still ends.
void tst_EndToEndStartup::failedSaveDoesNotHoldUpSigterm()
{
    const QString iniPath = mScreen.settingsFile();
    QFile ini(iniPath);
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.close();
    QVERIFY(ini.setPermissions(QFile::ReadOwner));
    QProcess program;
    QVERIFY(startAndWaitForTheWindow(program));
    QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    const bool ended = program.waitForFinished(kStartMilliseconds);
    if (!ended)
        program.kill();
    QVERIFY(QFile::remove(iniPath));
    QVERIFY(ended);
    QCOMPARE(program.exitCode(), 0);
    const QByteArray errors = program.readAllStandardError();
    QVERIFY2(errors.contains("An error occured in SettingsStore:Form_Unload"), errors.constData());
}

// Task bars match the window to its menu entry, and so to its icon, by the window's class.
void tst_EndToEndStartup::windowClassIsTheMenuEntrys()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
        QSKIP("xprop is not installed (scripts/bootstrap installs it)");
    const QRegularExpressionMatch entryClass =
        QRegularExpression(QStringLiteral("\nStartupWMClass=([^\n]+)\n"))
            .match(QString::fromUtf8(Autostart::entryText()));
    QVERIFY(entryClass.hasMatch());

    QProcess program;
    QVERIFY(startAndWaitForTheWindow(program));
    const QString window = mScreen.visibleWindows(QStringLiteral("--name"), kCaption).first();
    const QString windowClass =
        mScreen.run({QStringLiteral("xprop"), QStringLiteral("-id"), window, QStringLiteral("WM_CLASS")});
    program.terminate();
    QVERIFY(program.waitForFinished(kStartMilliseconds));
    QCOMPARE(windowClass, QStringLiteral("WM_CLASS(STRING) = \"corvane-dyndns\", \"") +
                              entryClass.captured(1) + QStringLiteral("\"\n"));
}

void tst_EndToEndStartup::statusShowsAnUpdateFromTheWindow()
{
    QProcess server;
    server.start(kServer, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                           QStringLiteral("alice:pw:home.dyn.brevant.example")});
    QVERIFY(server.waitForReadyRead(kStartMilliseconds));
    const QByteArray listening = server.readLine().trimmed();
    QFile ini(mScreen.settingsFile());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Settings]\nServer=127.0.0.1\nPort=" + listening.mid(listening.lastIndexOf(':') + 1) +
              "\nUsername=alice\nPassword=pw\nSubDomain=home\n");
    ini.close();

    // File, Update IP from the keyboard; with /CLOSE the program ends after the server's BYE.
    QProcess program;
    QVERIFY(startAndWaitForTheWindow(program, {QStringLiteral("/CLOSE")}));
    const QString window = mScreen.visibleWindows(QStringLiteral("--name"), kCaption).first();
    QElapsedTimer waited;
    waited.start();
    while (program.state() == QProcess::Running && waited.elapsed() < kStartMilliseconds) {
        // No window manager here: focus is given straight.
        mScreen.run({QStringLiteral("xdotool"), QStringLiteral("windowfocus"), window});
        mScreen.run(
            {QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("alt+f"), QStringLiteral("u")});
        program.waitForFinished(2000);
    }
    if (program.state() == QProcess::Running) {
        program.kill();
        program.waitForFinished();
    }
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QProcess status;
    status.setProcessEnvironment(mScreen.programEnvironment());
    status.start(kProgram, {QStringLiteral("--status")});
    QVERIFY(status.waitForFinished(kStartMilliseconds));
    server.terminate();
    server.waitForFinished();
    QVERIFY(QFile::remove(mScreen.settingsFile()));
    const QString out = QString::fromLocal8Bit(status.readAllStandardOutput());
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral(
                 "\nLast accepted update: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d, 127\\.0\\.0\\.1\n"))),
             qPrintable(out));
}

QTEST_GUILESS_MAIN(tst_EndToEndStartup)
#include "tst_EndToEndStartup.moc"
