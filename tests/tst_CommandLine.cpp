#include "app/ExitStatus.h"
#include "cli/CommandLine.h"
#include "ui/WindowSwitches.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void switchesAreFoundAnywhereInAnyCase_data();
    void switchesAreFoundAnywhereInAnyCase();
    void versionAndHelp();
    void usageError_data();
    void usageError();
    void countsAreTaken();
    void addressFromIsTaken_data();
    void addressFromIsTaken();
    void exitStatusesAreDocumentedAsTheCodeHasThem();
    void switchesAreDocumentedAsTheCodeHasThem();
};

namespace {
CommandLine::Request parsed(const QStringList& arguments)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    return CommandLine::parse(args);
}

std::string information(const QStringList& arguments)
{
    const CommandLine::Request request = parsed(arguments);
    const auto* text = std::get_if<CommandLine::Information>(&request);
    return text ? text->text : std::string();
}
} // namespace

void tst_CommandLine::switchesAreFoundAnywhereInAnyCase_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("minimize");
    QTest::addColumn<bool>("close");
    QTest::newRow("none") << "" << false << false;
    QTest::newRow("minimize") << "/MINIMIZE" << true << false;
    QTest::newRow("lower case") << "/minimize" << true << false;
    QTest::newRow("inside a longer argument") << "x/MiNiMiZeY" << true << false;
    QTest::newRow("long option") << "--minimize" << true << false;
    QTest::newRow("both") << "/close /minimize" << true << true;
    QTest::newRow("close inside a word") << "abc/CLOSED" << false << true;
    QTest::newRow("long close") << "--close" << false << true;
    QTest::newRow("no slash") << "minimize close" << false << false;
}

void tst_CommandLine::switchesAreFoundAnywhereInAnyCase()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, minimize);
    QFETCH(bool, close);
    QCOMPARE(WindowSwitches::wantsMinimize(commandLine), minimize);
    QCOMPARE(WindowSwitches::wantsClose(commandLine), close);
}

void tst_CommandLine::versionAndHelp()
{
    QCOMPARE(information({"--version"}), std::string("Corvane DynDNS 1.9.17\n"));
    const std::string help = information({"/MINIMIZE", "--help"});
    QVERIFY(help.find("Usage: corvane-dyndns") == 0);
    QVERIFY(help.find("/CLOSE") != std::string::npos);
    QVERIFY(std::holds_alternative<CommandLine::Window>(parsed({"/MINIMIZE", "--minimize"})));
}

void tst_CommandLine::usageError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // a part of the complaint; empty: the command line runs
    const QString unknown = QStringLiteral("unknown switch ");
    const QString exclusive =
        QStringLiteral("--update, --offline, --status, --history, --watch, --password-store, "
                       "--address-from and --autostart exclude each other");
    const QString place = QStringLiteral("--password-store takes keyring or file, not ");
    const QString count = QStringLiteral("--history takes a number of lines from 1 to 1000, not ");
    const QString quiet = QStringLiteral("--quiet goes only with --update, --offline or --watch");
    const QString days = QStringLiteral("--refresh takes a number of days from 1 to 365, not ");
    QTest::newRow("window switches") << QStringList{"/Minimize", "--minimize", "x/CLOSE", "--close", "word"}
                                     << "";
    QTest::newRow("update, quiet") << QStringList{"--update", "--quiet"} << "";
    QTest::newRow("offline, quiet") << QStringList{"--quiet", "--offline"} << "";
    QTest::newRow("status") << QStringList{"--status"} << "";
    QTest::newRow("autostart joined") << QStringList{"--autostart=on"} << "";
    QTest::newRow("a Qt switch") << QStringList{"--platform", "offscreen"} << "";
    QTest::newRow("upper case") << QStringList{"--UPDATE"} << unknown + "--UPDATE";
    QTest::newRow("mixed case") << QStringList{"--Minimize"} << unknown + "--Minimize";
    QTest::newRow("with a value") << QStringList{"--update=yes"} << unknown + "--update=yes";
    QTest::newRow("Qt switch with a value") << QStringList{"--platform=xcb"} << unknown + "--platform=xcb";
    QTest::newRow("autostart, other value") << QStringList{"--autostart=yes"} << unknown + "--autostart=yes";
    QTest::newRow("update, offline") << QStringList{"--update", "--offline"} << exclusive;
    QTest::newRow("update, status") << QStringList{"--status", "--update"} << exclusive;
    QTest::newRow("offline, status") << QStringList{"--offline", "--status"} << exclusive;
    QTest::newRow("update, autostart") << QStringList{"--update", "--autostart", "on"} << exclusive;
    QTest::newRow("offline, autostart") << QStringList{"--autostart=off", "--offline"} << exclusive;
    QTest::newRow("status, autostart") << QStringList{"--status", "--autostart"} << exclusive;
    QTest::newRow("autostart twice") << QStringList{"--autostart=on", "--autostart=off"} << exclusive;
    QTest::newRow("escape sequence") << QStringList{"--\x1b]0;T\a"} << unknown + "--\\x1b]0;T\\x07";
    QTest::newRow("history") << QStringList{"--history"} << "";
    QTest::newRow("history of one") << QStringList{"--history", "1"} << "";
    QTest::newRow("history of none") << QStringList{"--history", "0"} << count + "\"0\"";
    QTest::newRow("history at the limit") << QStringList{"--history", "1000"} << "";
    QTest::newRow("history one past it") << QStringList{"--history", "1001"} << count + "\"1001\"";
    QTest::newRow("history, not a number") << QStringList{"--history", "5x"} << count + "\"5x\"";
    QTest::newRow("history, status") << QStringList{"--history", "--status"} << exclusive;
    QTest::newRow("watch, quiet, refresh at the limit")
        << QStringList{"--watch", "--quiet", "--refresh", "365"} << "";
    QTest::newRow("refresh one past it") << QStringList{"--watch", "--refresh", "366"} << days + "\"366\"";
    QTest::newRow("refresh of none") << QStringList{"--watch", "--refresh", "0"} << days + "\"0\"";
    QTest::newRow("refresh without days") << QStringList{"--watch", "--refresh"} << days + "\"\"";
    QTest::newRow("refresh without watch")
        << QStringList{"--refresh", "3"} << "--refresh goes only with --watch";
    QTest::newRow("watch, update") << QStringList{"--update", "--watch"} << exclusive;
    QTest::newRow("quiet alone") << QStringList{"--quiet"} << quiet;
    QTest::newRow("quiet, status") << QStringList{"--status", "--quiet"} << quiet;
    QTest::newRow("password store") << QStringList{"--password-store"} << "";
    QTest::newRow("password store, keyring") << QStringList{"--password-store", "keyring"} << "";
    QTest::newRow("password store, other place")
        << QStringList{"--password-store", "wallet"} << place + "\"wallet\"";
    QTest::newRow("password store, update")
        << QStringList{"--password-store", "file", "--update"} << exclusive;
    QTest::newRow("password store, quiet") << QStringList{"--password-store", "--quiet"} << quiet;
    const QString from =
        QStringLiteral("--address-from takes auto, connection, router or an http:// or https:// URL, not ");
    QTest::newRow("address from, alone") << QStringList{"--address-from"} << "";
    QTest::newRow("address from, a word in any case") << QStringList{"--address-from", "Router"} << "";
    QTest::newRow("address from, https") << QStringList{"--address-from", "https://ip.example/"} << "";
    QTest::newRow("address from, other word") << QStringList{"--address-from", "upnp"} << from + "\"upnp\"";
    QTest::newRow("address from, empty word") << QStringList{"--address-from", ""} << from + "\"\"";
    QTest::newRow("address from, blank word") << QStringList{"--address-from", "  "} << from + "\"  \"";
    QTest::newRow("address from, other scheme")
        << QStringList{"--address-from", "ftp://ip.example/"} << from + "\"ftp://ip.example/\"";
    QTest::newRow("address from, URL without a host")
        << QStringList{"--address-from", "https://"} << from + "\"https://\"";
    QTest::newRow("address from, escape sequence")
        << QStringList{"--address-from", "\x1b[2J"} << from + "\"\\x1b[2J\"";
    QTest::newRow("address from, a window switch for its value")
        << QStringList{"--address-from", "/MINIMIZE"} << from + "\"/MINIMIZE\"";
    QTest::newRow("address from, status") << QStringList{"--address-from", "--status"} << exclusive;
    QTest::newRow("address from, update") << QStringList{"--update", "--address-from", "auto"} << exclusive;
    QTest::newRow("address from, quiet") << QStringList{"--address-from", "auto", "--quiet"} << quiet;
    QTest::newRow("address from, two values")
        << QStringList{"--address-from", "auto", "router"} << "unexpected word \"router\"";
    const QString stray = QStringLiteral("unexpected word ");
    QTest::newRow("a word after the count") << QStringList{"--history", "3", "foo"} << stray + "\"foo\"";
    QTest::newRow("a word after status") << QStringList{"--status", "5"} << stray + "\"5\"";
    QTest::newRow("a word before update") << QStringList{"foo", "--update"} << stray + "\"foo\"";
    QTest::newRow("update, window switches") << QStringList{"--update", "/close", "/MINIMIZE"} << "";
    QTest::newRow("watch, a Qt switch's value") << QStringList{"--watch", "--platform", "minimal"} << "";
}

void tst_CommandLine::usageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const CommandLine::Request request = parsed(arguments);
    const auto* usage = std::get_if<CommandLine::UsageError>(&request);
    const QString complaint = QString::fromStdString(usage ? usage->text : std::string());
    if (error.isEmpty())
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
    else
        QVERIFY2(complaint.startsWith("corvane-dyndns: " + error + "\n") && complaint.contains("Usage: "),
                 qPrintable(complaint));
}

void tst_CommandLine::countsAreTaken()
{
    using namespace CommandLine;
    QCOMPARE(std::get<HistoryListing>(parsed({"--history"})).count, 20);
    QCOMPARE(std::get<HistoryListing>(parsed({"--history", "7"})).count, 7);
    QCOMPARE(std::get<HistoryListing>(parsed({"--history", "--minimize"})).count, 20);
    QVERIFY(std::holds_alternative<Status>(parsed({"--status"})));
    QCOMPARE(std::get<Watch>(parsed({"--watch"})).refreshDays, 25);
    QCOMPARE(std::get<Watch>(parsed({"--refresh", "3", "--watch"})).refreshDays, 3);
    QVERIFY(std::get<Watch>(parsed({"--watch", "--quiet"})).quiet);
    QCOMPARE(std::get<PasswordStore>(parsed({"--password-store"})).place, std::nullopt);
    QCOMPARE(std::get<PasswordStore>(parsed({"--password-store", "file"})).place,
             std::optional(PasswordPlace::File));
    QCOMPARE(std::get<PasswordStore>(parsed({"--password-store", "keyring"})).place,
             std::optional(PasswordPlace::Keyring));
}

void tst_CommandLine::addressFromIsTaken_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stored"); // the setting's text; empty: alone, nothing is stored
    QTest::newRow("alone") << QStringList{"--address-from"} << "";
    QTest::newRow("auto") << QStringList{"--address-from", "auto"} << "auto";
    QTest::newRow("connection, upper case") << QStringList{"--address-from", "CONNECTION"} << "connection";
    QTest::newRow("router, after a window switch")
        << QStringList{"/close", "--address-from", "router"} << "router";
    QTest::newRow("http URL") << QStringList{"--address-from", "http://192.0.2.1:8080/ip"}
                              << "http://192.0.2.1:8080/ip";
}

void tst_CommandLine::addressFromIsTaken()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, stored);
    const CommandLine::Request request = parsed(arguments);
    const auto* taken = std::get_if<CommandLine::AddressFromRequest>(&request);
    QVERIFY(taken);
    QCOMPARE(taken->from ? taken->from->text() : QString(), stored);
}

namespace {
QSet<int> statusesIn(const QString& text, const QString& pattern)
{
    QSet<int> found;
    for (auto match = QRegularExpression(pattern).globalMatch(text); match.hasNext();)
        found.insert(match.next().captured(1).toInt());
    return found;
}
QString sourceFile(const QString& path)
{
    QFile file(QStringLiteral(CORVANE_SOURCE_DIR "/") + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

// One table in the code; --help, the manual page and README say the same statuses.
void tst_CommandLine::exitStatusesAreDocumentedAsTheCodeHasThem()
{
    QSet<int> code;
    for (const exitstatus::Meaning& meaning : exitstatus::kMeanings)
        code.insert(meaning.status);
    const QString help = QString::fromStdString(CommandLine::usage());
    QCOMPARE(statusesIn(help.section("Exit status:", 1), "\\n  (\\d+) "), code);
    const QString manual = sourceFile("data/corvane-dyndns.1.in");
    QCOMPARE(
        statusesIn(manual.section(".SH EXIT STATUS", 1).section("\n.SH ", 0, 0), "\\.TP\\n\\.B (\\d+)\\n"),
        code);
    QCOMPARE(statusesIn(sourceFile("README.md"), "\\n\\| (\\d+) \\|"), code);
}

// One table in the code; --help, the manual page and README name the same switches.
void tst_CommandLine::switchesAreDocumentedAsTheCodeHasThem()
{
    const QString help = QString::fromStdString(CommandLine::usage());
    const QString manual = sourceFile("data/corvane-dyndns.1.in");
    const QString readme = sourceFile("README.md");
    for (const std::string& name : CommandLine::switchNames()) {
        const QString word = QString::fromStdString(name);
        QVERIFY2(help.contains("\n  " + word) || help.contains(", " + word + " "), qPrintable(word));
        QVERIFY2(manual.contains(QString(word).replace("-", "\\-")), qPrintable(word));
        QVERIFY2(readme.contains("`" + word), qPrintable(word));
    }
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
