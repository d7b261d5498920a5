#include "app/CommandLine.h"

#include <QtTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void switchesAreFoundAnywhereInAnyCase_data();
    void switchesAreFoundAnywhereInAnyCase();
    void versionAndHelp();
};

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
    QCOMPARE(CommandLine::wantsMinimize(commandLine), minimize);
    QCOMPARE(CommandLine::wantsClose(commandLine), close);
}

void tst_CommandLine::versionAndHelp()
{
    QCOMPARE(CommandLine::informationRequest({"--version"}).value_or(""),
             std::string("Corvane DynDNS 1.9.17\n"));
    const std::string help = CommandLine::informationRequest({"/MINIMIZE", "--help"}).value_or("");
    QVERIFY(help.find("Usage: corvane-dyndns") == 0);
    QVERIFY(help.find("/CLOSE") != std::string::npos);
    QVERIFY(!CommandLine::informationRequest({"/MINIMIZE", "--minimize"}).has_value());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
