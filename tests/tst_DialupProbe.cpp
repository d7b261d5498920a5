#include "FakeDialup.h"
#include "monitor/basDialupNetworking.h"

#include <QtTest>

using basDialupNetworking::IsDialupConnected;

class tst_DialupProbe : public QObject
{
    Q_OBJECT
private slots:
    void noConnectionAsksNoStatus();
    void oneConnected();
    void oneStillDialling();
    void twoConnectionsInEitherOrder_data();
    void twoConnectionsInEitherOrder();
    void failingStatusQueryDisqualifiesOnlyThatConnection();
    void failingEnumerationAsksNoStatus();
    void everyQueryCarriesTheRecordSizes();
};

void tst_DialupProbe::noConnectionAsksNoStatus()
{
    FakeDialup dialup;
    QVERIFY(!IsDialupConnected(dialup));
    QCOMPARE(dialup.enumCalls, 1);
    QVERIFY(dialup.statusHandles.isEmpty());
}

void tst_DialupProbe::oneConnected()
{
    FakeDialup dialup;
    dialup.connections = {{7, kRasConnected}};
    QVERIFY(IsDialupConnected(dialup));
    QCOMPARE(dialup.statusHandles, QList<std::uint32_t>{7});
}

void tst_DialupProbe::oneStillDialling()
{
    FakeDialup dialup;
    dialup.connections = {{7, 0x10 /* authenticating */}};
    QVERIFY(!IsDialupConnected(dialup));
    dialup.connections = {{7, kRasDisconnected}};
    QVERIFY(!IsDialupConnected(dialup));
}

void tst_DialupProbe::twoConnectionsInEitherOrder_data()
{
    QTest::addColumn<std::uint32_t>("firstState");
    QTest::addColumn<std::uint32_t>("secondState");
    QTest::newRow("first connected") << kRasConnected << std::uint32_t{1};
    QTest::newRow("second connected") << std::uint32_t{1} << kRasConnected;
}

void tst_DialupProbe::twoConnectionsInEitherOrder()
{
    QFETCH(std::uint32_t, firstState);
    QFETCH(std::uint32_t, secondState);
    FakeDialup dialup;
    dialup.connections = {{11, firstState}, {12, secondState}};
    QVERIFY(IsDialupConnected(dialup));
    QCOMPARE(dialup.statusHandles, (QList<std::uint32_t>{11, 12}));
}

void tst_DialupProbe::failingStatusQueryDisqualifiesOnlyThatConnection()
{
    FakeDialup dialup;
    dialup.connections = {{1, kRasConnected, 6}};
    QVERIFY(!IsDialupConnected(dialup));

    dialup.connections = {{1, kRasConnected, 6}, {2, kRasConnected}};
    QVERIFY(IsDialupConnected(dialup));
    QCOMPARE(dialup.statusHandles.size(), 3);
}

void tst_DialupProbe::failingEnumerationAsksNoStatus()
{
    FakeDialup dialup;
    dialup.connections = {{1, kRasConnected}};
    dialup.enumResult = kRasBufferTooSmall;
    QVERIFY(!IsDialupConnected(dialup));
    QVERIFY(dialup.statusHandles.isEmpty());
}

void tst_DialupProbe::everyQueryCarriesTheRecordSizes()
{
    FakeDialup dialup;
    dialup.connections = {{1, 1}, {2, 1}, {3, kRasConnected}};
    dialup.scribbleOnStatus = true; // a service that overwrites the whole record
    QVERIFY(IsDialupConnected(dialup));
    QCOMPARE(dialup.statusSizeFields, (QList<std::uint32_t>{160, 160, 160}));
    QCOMPARE(dialup.roomBytesSeen, 412u * 256u);
    QCOMPARE(dialup.roomRecordSizeSeen, 412u);
    QCOMPARE(dialup.firstStatusZeroFilled, true);
}

QTEST_GUILESS_MAIN(tst_DialupProbe)
#include "tst_DialupProbe.moc"
