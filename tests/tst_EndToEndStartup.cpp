// Starts the real program under a virtual X server: the window appears, a second copy ends
// at once, and SIGTERM saves the settings.

#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {
const QString kProgram = QStringLiteral(CORVANE_PROGRAM);
const QString kCaption = QStringLiteral("Corvane DynDNS 1.9 - By Vexlin");
constexpr int kStartMilliseconds = 30000;
} // namespace

class tst_EndToEndStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void versionAndHelpNeedNoWindow();
    void singleInstanceAndSavingOnSigterm();

private:
    QProcessEnvironment programEnvironment() const;
    bool windowWithCaptionExists(const QString& caption);

    QProcess mXvfb;
    QString mDisplay;
    QTemporaryDir mHome;
};

void tst_EndToEndStartup::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("Xvfb or xdotool is not installed (scripts/bootstrap installs both); skipping the end-to-end "
              "test");
    QVERIFY(mHome.isValid());
    QVERIFY(QDir(mHome.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(mHome.path()).mkpath(QStringLiteral("runtime")));
    QFile::setPermissions(mHome.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Xvfb picks a free display and writes its number to the given descriptor.
    mXvfb.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                       QStringLiteral("tcp")});
    QVERIFY2(mXvfb.waitForStarted(), "Xvfb did not start");
    QTRY_VERIFY_WITH_TIMEOUT(mXvfb.canReadLine(), 20000);
    mDisplay = QLatin1Char(':') + QString::fromLatin1(mXvfb.readLine().trimmed());
}

void tst_EndToEndStartup::cleanupTestCase()
{
    if (mXvfb.state() != QProcess::NotRunning) {
        mXvfb.terminate();
        mXvfb.waitForFinished(5000);
    }
}

QProcessEnvironment tst_EndToEndStartup::programEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), mHome.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mHome.filePath(QStringLiteral("runtime")));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return env;
}

bool tst_EndToEndStartup::windowWithCaptionExists(const QString& caption)
{
    QProcess search;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    search.setProcessEnvironment(env);
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--name"),
                  QLatin1Char('^') + QRegularExpression::escape(caption) + QLatin1Char('$')});
    search.waitForFinished(5000);
    return search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
}

void tst_EndToEndStartup::versionAndHelpNeedNoWindow()
{
    QProcess program;
    QProcessEnvironment env = programEnvironment();
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
    const QString iniPath = mHome.filePath(QStringLiteral("config/Corvane DynDNS.ini"));
    QVERIFY(!QFile::exists(iniPath));

    QProcess first;
    first.setProcessEnvironment(programEnvironment());
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(kProgram);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(windowWithCaptionExists(kCaption), kStartMilliseconds);

    QProcess second;
    second.setProcessEnvironment(programEnvironment());
    second.start(kProgram);
    QVERIFY(second.waitForFinished(kStartMilliseconds));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(windowWithCaptionExists(kCaption));

    QCOMPARE(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    QVERIFY(first.waitForFinished(kStartMilliseconds));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);

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

QTEST_GUILESS_MAIN(tst_EndToEndStartup)
#include "tst_EndToEndStartup.moc"
