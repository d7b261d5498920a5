#include "FakeWindowing.h"
#include "platform/Trap.h"

#include <QtTest>

#include <stdexcept>

class tst_ErrorReport : public QObject
{
    Q_OBJECT
private slots:
    void textIsBuiltExactly();
    void negativeNumberKeepsItsSign();
    void trapReportsUnderTheProcedureName();
    void trapCatchesOtherExceptions();
    void trapLetsAGoodBodyRun();
};

void tst_ErrorReport::textIsBuiltExactly()
{
    const Failure failure(13, QStringLiteral("Type mismatch"), QStringLiteral("CorvaneDynDNS"));
    QCOMPARE(errorReportText(failure, QStringLiteral("Form_Load")),
             QStringLiteral(
                 "An error occured in CorvaneDynDNS:Form_Load\r\n\r\nError Number 13:\r\nType mismatch"));
}

void tst_ErrorReport::negativeNumberKeepsItsSign()
{
    const Failure failure(-2147467259, QStringLiteral("Unspecified"), QStringLiteral("Socket"));
    QCOMPARE(
        errorReportText(failure, QStringLiteral("sckClient_DataArrival")),
        QStringLiteral("An error occured in Socket:sckClient_DataArrival\r\n\r\nError Number -2147467259:\r\n"
                       "Unspecified"));
}

void tst_ErrorReport::trapReportsUnderTheProcedureName()
{
    FakeWindowing windowing;
    const bool completed = trap(windowing, "mnuFileExit_Click", [] {
        throw Failure(failures::kOverflow, QStringLiteral("Overflow"), QStringLiteral("CorvaneDynDNS"));
    });
    QVERIFY(!completed);
    QCOMPARE(windowing.reports,
             QStringList{QStringLiteral(
                 "An error occured in CorvaneDynDNS:mnuFileExit_Click\r\n\r\nError Number 6:\r\nOverflow")});
}

void tst_ErrorReport::trapCatchesOtherExceptions()
{
    FakeWindowing windowing;
    QVERIFY(!trap(windowing, "Form_Load", [] { throw std::runtime_error("broken"); }));
    QCOMPARE(windowing.reports.size(), 1);
    QVERIFY(
        windowing.reports.first().startsWith(QStringLiteral("An error occured in CorvaneDynDNS:Form_Load")));
    QVERIFY(windowing.reports.first().endsWith(QStringLiteral(":\r\nbroken")));
}

void tst_ErrorReport::trapLetsAGoodBodyRun()
{
    FakeWindowing windowing;
    int runs = 0;
    QVERIFY(trap(windowing, "EnableMenus", [&] { ++runs; }));
    QCOMPARE(runs, 1);
    QVERIFY(windowing.reports.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_ErrorReport.moc"
