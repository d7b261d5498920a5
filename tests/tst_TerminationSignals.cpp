#include "platform/qt/TerminationSignals.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

class tst_TerminationSignals : public QObject
{
    Q_OBJECT
private slots:
    void numberReachesThoseThatCatchIt_data();
    void numberReachesThoseThatCatchIt();
};

void tst_TerminationSignals::numberReachesThoseThatCatchIt_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("reachesEnding");

    QTest::newRow("SIGHUP: both") << int(SIGHUP) << true;
    QTest::newRow("SIGUSR1: the watching one only") << int(SIGUSR1) << false;
}

// Two objects catch signals at once, as a window's and a watcher's would.
void tst_TerminationSignals::numberReachesThoseThatCatchIt()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, reachesEnding);
    TerminationSignals ending({SIGTERM, SIGINT, SIGHUP});
    TerminationSignals watching({SIGTERM, SIGINT, SIGHUP, SIGUSR1});
    QSignalSpy endingSpy(&ending, &TerminationSignals::received);
    QSignalSpy watchingSpy(&watching, &TerminationSignals::received);

    QCOMPARE(::raise(signalNumber), 0);
    QTRY_COMPARE(watchingSpy.count(), 1);
    QCOMPARE(watchingSpy.first().first().toInt(), signalNumber);
    QCOMPARE(endingSpy.count(), reachesEnding ? 1 : 0);
    if (reachesEnding)
        QCOMPARE(endingSpy.first().first().toInt(), signalNumber);
}

QTEST_GUILESS_MAIN(tst_TerminationSignals)
#include "tst_TerminationSignals.moc"
