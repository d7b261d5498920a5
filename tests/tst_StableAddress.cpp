#include "platform/StableAddress.h"

#include <QTest>

// Which address of the source's interface is posted when the kernel picked the source: the
// stable global one, never a privacy, deprecated or tentative address.
class tst_StableAddress : public QObject
{
    Q_OBJECT
private slots:
    void chosen_data();
    void chosen();
};

namespace {

// "ADDRESS [temporary] [deprecated] [tentative] [dadfailed] [SECONDS]; ...": without seconds
// the address is valid forever.
QList<StableAddress::Candidate> candidates(const QString& text)
{
    QList<StableAddress::Candidate> list;
    for (const QString& one : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = one.simplified().split(QLatin1Char(' '));
        StableAddress::Candidate candidate;
        candidate.address = QHostAddress(words.first());
        for (const QString& word : words.mid(1)) {
            bool number = false;
            const uint seconds = word.toUInt(&number);
            if (number)
                candidate.validSeconds = seconds;
            candidate.temporary |= word == QLatin1String("temporary");
            candidate.deprecated |= word == QLatin1String("deprecated");
            candidate.tentative |= word == QLatin1String("tentative");
            candidate.dadFailed |= word == QLatin1String("dadfailed");
        }
        list.append(candidate);
    }
    return list;
}

} // namespace

void tst_StableAddress::chosen_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("interfaceAddresses");
    QTest::addColumn<QString>("posted");

    const QString temporary = QStringLiteral("2001:db8:5:0:2cfb:5046:f9d:cd03");
    const QString temporaryHeld = temporary + QStringLiteral(" temporary 604000");
    QTest::newRow("a temporary source: the stable address beside it")
        << temporary << temporaryHeld + "; 2001:db8:5::2; fe80::1"
        << "2001:db8:5::2";
    QTest::newRow("the stable source stays") << "2001:db8:5::2" << temporaryHeld + "; 2001:db8:5::2"
                                             << "2001:db8:5::2";
    QTest::newRow("two stable: the longer valid one")
        << temporary << "2001:db8:5::2 3600; " + temporaryHeld + "; 2001:db8:6::2 86400"
        << "2001:db8:6::2";
    QTest::newRow("two stable: forever outlasts any seconds")
        << temporary << "2001:db8:6::2 4294967294; 2001:db8:5::2; " + temporaryHeld << "2001:db8:5::2";
    QTest::newRow("two stable, equal: the source itself") << "2001:db8:6::2"
                                                          << "2001:db8:5::2 600; 2001:db8:6::2 600"
                                                          << "2001:db8:6::2";
    QTest::newRow("two stable, equal, the source temporary: the lowest, in either order")
        << temporary << "2001:db8:6::2; " + temporaryHeld + "; 2001:db8:5::2"
        << "2001:db8:5::2";
    QTest::newRow("a deprecated stable address is passed over")
        << temporary << "2001:db8:5::2 deprecated; 2001:db8:7::2 60; " + temporaryHeld << "2001:db8:7::2";
    QTest::newRow("a tentative one is passed over")
        << temporary << "2001:db8:5::2 tentative; 2001:db8:7::2 60; " + temporaryHeld << "2001:db8:7::2";
    QTest::newRow("one whose detection failed is passed over")
        << temporary << "2001:db8:5::2 dadfailed; 2001:db8:7::2 60; " + temporaryHeld << "2001:db8:7::2";
    QTest::newRow("a temporary one that outlasts the stable one is still passed over")
        << "2001:db8:5::2"
        << "2001:db8:5::2 60; 2001:db8:5::77 temporary"
        << "2001:db8:5::2";
    QTest::newRow("only temporary ones: the source as given")
        << temporary << temporaryHeld + "; 2001:db8:5::99 temporary 9000; fe80::1" << temporary;
    QTest::newRow("only deprecated and tentative stable ones: the source as given")
        << temporary << temporaryHeld + "; 2001:db8:5::2 deprecated; 2001:db8:5::3 tentative" << temporary;
    QTest::newRow("a global source takes no unique-local address")
        << temporary << temporaryHeld + "; fd00:5::2" << temporary;
    QTest::newRow("a unique-local source takes the unique-local stable one")
        << "fd00:5::8a"
        << "fd00:5::8a temporary 600; 2001:db8:5::2; fd00:5::2 60"
        << "fd00:5::2";
    QTest::newRow("nor a link-local one") << temporary << temporaryHeld + "; fe80::2" << temporary;
    QTest::newRow("IPv4 untouched") << "192.168.77.2"
                                    << "192.168.77.2; 2001:db8:5::2"
                                    << "192.168.77.2";
    QTest::newRow("IPv6 loopback untouched") << "::1"
                                             << "::1; 2001:db8:5::2"
                                             << "::1";
    QTest::newRow("link-local untouched") << "fe80::1"
                                          << "fe80::1; 2001:db8:5::2"
                                          << "fe80::1";
    QTest::newRow("IPv4-mapped untouched") << "::ffff:192.168.77.2"
                                           << "2001:db8:5::2"
                                           << "::ffff:192.168.77.2";
    QTest::newRow("no addresses read: the source") << temporary << "" << temporary;
}

void tst_StableAddress::chosen()
{
    QFETCH(QString, source);
    QFETCH(QString, interfaceAddresses);
    QFETCH(QString, posted);
    const QHostAddress chosen = StableAddress::of(QHostAddress(source.section(QLatin1Char(' '), 0, 0)),
                                                  candidates(interfaceAddresses));
    QCOMPARE(chosen, QHostAddress(posted));
}

QTEST_GUILESS_MAIN(tst_StableAddress)
#include "tst_StableAddress.moc"
