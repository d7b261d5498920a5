#include "platform/Failure.h"
#include "settings/TextConversion.h"

#include <QtTest>

using namespace TextConversion;

namespace {
long failureNumberOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const Failure& failure) {
        return failure.number;
    }
    return 0;
}
} // namespace

class tst_TextConversion : public QObject
{
    Q_OBJECT
private slots:
    void strictIntegers_data();
    void strictIntegers();
    void strictIntegerFailures_data();
    void strictIntegerFailures();
    void booleans_data();
    void booleans();
    void booleanFailures_data();
    void booleanFailures();
    void lenientReading_data();
    void lenientReading();
    void lenientOverflow();
    void textForms();
};

void tst_TextConversion::strictIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("value");
    QTest::newRow("plain") << "2345" << 2345;
    QTest::newRow("blank-padded") << "  2345  " << 2345;
    QTest::newRow("tab-padded") << "\t80\t" << 80;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("half down to even") << "80.5" << 80;
    QTest::newRow("half up to even") << "81.5" << 82;
    QTest::newRow("negative half to even") << "-2.5" << -2;
    QTest::newRow("below half") << "80.49" << 80;
    QTest::newRow("bare fraction") << ".5" << 0;
    QTest::newRow("trailing point") << "5." << 5;
    QTest::newRow("exponent") << "1e3" << 1000;
    QTest::newRow("hexadecimal") << "&H50" << 80;
    QTest::newRow("octal") << "&O17" << 15;
    QTest::newRow("16-bit hexadecimal pattern") << "&HFFFF" << -1;
    QTest::newRow("lowest") << "-2147483648" << std::numeric_limits<qint32>::min();
    QTest::newRow("highest") << "2147483647" << std::numeric_limits<qint32>::max();
}

void tst_TextConversion::strictIntegers()
{
    QFETCH(QString, text);
    QFETCH(qint32, value);
    QCOMPARE(toLong(text), value);
}

void tst_TextConversion::strictIntegerFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<long>("number");
    QTest::newRow("empty") << "" << failures::kTypeMismatch;
    QTest::newRow("blanks only") << "   " << failures::kTypeMismatch;
    QTest::newRow("trailing letter") << "80x" << failures::kTypeMismatch;
    QTest::newRow("blank inside") << "8 0" << failures::kTypeMismatch;
    QTest::newRow("word") << "port" << failures::kTypeMismatch;
    QTest::newRow("above 32 bits") << "2147483648" << failures::kOverflow;
    QTest::newRow("below 32 bits") << "-2147483649" << failures::kOverflow;
    QTest::newRow("beyond 32 bits") << "4294967296" << failures::kOverflow;
    QTest::newRow("rounds beyond") << "2147483647.5" << failures::kOverflow;
    QTest::newRow("huge exponent") << "1e400" << failures::kOverflow;
}

void tst_TextConversion::strictIntegerFailures()
{
    QFETCH(QString, text);
    QFETCH(long, number);
    QCOMPARE(failureNumberOf([&] { toLong(text); }), number);
}

void tst_TextConversion::booleans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("upper") << "TRUE" << true;
    QTest::newRow("lower") << "true" << true;
    QTest::newRow("mixed false") << "fAlSe" << false;
    QTest::newRow("minus one") << "-1" << true;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("zero fraction") << "0.0" << false;
    QTest::newRow("other number") << "42" << true;
    QTest::newRow("small fraction") << "0.25" << true;
}

void tst_TextConversion::booleans()
{
    QFETCH(QString, text);
    QFETCH(bool, value);
    QCOMPARE(toBoolean(text), value);
}

void tst_TextConversion::booleanFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("yes") << "yes";
    QTest::newRow("prefix") << "Truely";
}

void tst_TextConversion::booleanFailures()
{
    QFETCH(QString, text);
    QCOMPARE(failureNumberOf([&] { toBoolean(text); }), failures::kTypeMismatch);
}

void tst_TextConversion::lenientReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("value");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters after") << "80abc" << 80;
    QTest::newRow("blank inside") << "8 0" << 80;
    QTest::newRow("tab and line feed inside") << "1\t2\n3" << 123;
    QTest::newRow("hexadecimal") << "&H50" << 80;
    QTest::newRow("half down to even") << "12.5" << 12;
    QTest::newRow("half up to even") << "13.5" << 14;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("exponent without digits") << "5e" << 5;
}

void tst_TextConversion::lenientReading()
{
    QFETCH(QString, text);
    QFETCH(qint32, value);
    QCOMPARE(roundToLong(val(text)), value);
}

void tst_TextConversion::lenientOverflow()
{
    QCOMPARE(val(QStringLiteral("9e9")), 9e9);
    QCOMPARE(failureNumberOf([] { roundToLong(val(QStringLiteral("9e9"))); }), failures::kOverflow);
}

void tst_TextConversion::textForms()
{
    QCOMPARE(fromLong(-1), QStringLiteral("-1"));
    QCOMPARE(fromLong(2345), QStringLiteral("2345"));
    QCOMPARE(fromBoolean(true), QStringLiteral("True"));
    QCOMPARE(fromBoolean(false), QStringLiteral("False"));
}

QTEST_GUILESS_MAIN(tst_TextConversion)
#include "tst_TextConversion.moc"
