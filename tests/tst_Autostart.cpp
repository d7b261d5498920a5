// "--autostart on|off" and "--autostart" alone, against a throwaway configuration folder.

#include "cli/Runs.h"
#include "platform/qt/Autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

class tst_Autostart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void request_data();
    void request();

private:
    QTemporaryDir mPrograms;
};

// The entry starts the program by name; one on PATH keeps the note about a missing one quiet.
void tst_Autostart::initTestCase()
{
    QFile program(mPrograms.filePath(QStringLiteral("corvane-dyndns")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();
    QVERIFY(program.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    qputenv("PATH", mPrograms.path().toLocal8Bit() + ':' + qgetenv("PATH"));
}

void tst_Autostart::request_data()
{
    QTest::addColumn<QString>("before"); // what the configuration folder holds at the start
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status"); // -1: not an autostart request, the program starts
    QTest::addColumn<bool>("entryAfter");
    QTest::addColumn<QString>("out"); // a part of what is printed; empty: nothing
    QTest::addColumn<QString>("err");

    const QString on = QStringLiteral("Corvane DynDNS starts at login: ");
    const QString off = QStringLiteral("Corvane DynDNS does not start at login.\n");
    QTest::newRow("on") << "" << QStringList{"--autostart", "on"} << 0 << true << on << "";
    QTest::newRow("on, joined") << "" << QStringList{"/MINIMIZE", "--autostart=on"} << 0 << true << on << "";
    QTest::newRow("on replaces an old entry")
        << "old entry" << QStringList{"--autostart", "on"} << 0 << true << on << "";
    QTest::newRow("on replaces a link, not what it points at")
        << "entry is a link" << QStringList{"--autostart", "on"} << 0 << true << on << "";
    QTest::newRow("off") << "old entry" << QStringList{"--autostart", "off"} << 0 << false << off << "";
    QTest::newRow("off when off") << "" << QStringList{"--autostart=off"} << 0 << false << off << "";
    QTest::newRow("status on") << "old entry" << QStringList{"--autostart"} << 0 << true << on << "";
    QTest::newRow("status off") << "" << QStringList{"--autostart"} << 0 << false << off << "";
    QTest::newRow("unwritable folder")
        << "autostart is a file" << QStringList{"--autostart", "on"} << 1 << false << ""
        << "corvane-dyndns: cannot create the folder ";
    QTest::newRow("entry cannot be removed")
        << "entry is a folder" << QStringList{"--autostart", "off"} << 1 << false << ""
        << "corvane-dyndns: cannot remove ";
    QTest::newRow("entry cannot be replaced")
        << "entry is a folder" << QStringList{"--autostart", "on"} << 1 << false << ""
        << "corvane-dyndns: cannot write ";
    QTest::newRow("neither on nor off") << "" << QStringList{"--autostart", "yes"} << 64 << false << ""
                                        << "--autostart takes on or off, not \"yes\"";
    QTest::newRow("no such switch") << "" << QStringList{"/MINIMIZE", "on"} << -1 << false << ""
                                    << "";
}

void tst_Autostart::request()
{
    QFETCH(QString, before);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(bool, entryAfter);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QTemporaryDir config;
    const Autostart autostart(config.path());
    const QString entry = autostart.entryPath();
    QCOMPARE(entry, config.path() + "/autostart/example.vexlin.CorvaneDynDNS.desktop");
    if (before == "autostart is a file") {
        QFile file(config.filePath("autostart"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (before == "entry is a folder") {
        QVERIFY(QDir().mkpath(entry));
    } else if (before == "old entry") {
        QVERIFY(QDir().mkpath(config.filePath("autostart")));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nExec=old\n");
    } else if (before == "entry is a link") {
        QVERIFY(QDir().mkpath(config.filePath("autostart")));
        QFile target(config.filePath("target"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write("someone else's file\n");
        QVERIFY(QFile::link(target.fileName(), entry));
    }

    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    std::ostringstream printed;
    std::ostringstream complained;
    const CommandLine::Request parsed = CommandLine::parse(args);
    const auto* request = std::get_if<CommandLine::AutostartRequest>(&parsed);
    QCOMPARE(request ? answer(*request, autostart, printed, complained) : -1, status);

    QCOMPARE(autostart.isOn(), entryAfter);
    const QString printedText = QString::fromStdString(printed.str());
    const QString complainedText = QString::fromStdString(complained.str());
    QVERIFY2(out.isEmpty() ? printedText.isEmpty() : printedText.contains(out), qPrintable(printedText));
    QVERIFY2(err.isEmpty() ? complainedText.isEmpty() : complainedText.contains(err),
             qPrintable(complainedText));
    // Nothing is left beside the entry, whether it was written or not.
    const QStringList inFolder =
        QDir(config.filePath("autostart")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QVERIFY2(inFolder.isEmpty() || inFolder == QStringList{QFileInfo(entry).fileName()},
             qPrintable(inFolder.join(", ")));
    if (before == "entry is a link") {
        QFile target(config.filePath("target"));
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), QByteArray("someone else's file\n"));
        QVERIFY(!QFileInfo(entry).isSymLink());
    }
    if (entryAfter && arguments.constLast().endsWith("on")) {
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.startsWith("[Desktop Entry]\n") && text.contains("\nExec=corvane-dyndns --minimize\n"),
                 text.constData());
    }
}

QTEST_GUILESS_MAIN(tst_Autostart)
#include "tst_Autostart.moc"
