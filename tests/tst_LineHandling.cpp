#include "update/basMisc.h"

#include <QtTest>

namespace {

// Every complete line the buffer yields, in order.
QStringList linesOf(ReceiveBuffer& buffer)
{
    QStringList lines;
    while (const auto line = basMisc::TopLine(buffer))
        lines.append(*line);
    return lines;
}

} // namespace

class tst_LineHandling : public QObject
{
    Q_OBJECT
private slots:
    void terminators_data();
    void terminators();
    void replySplitAcrossBlocksIsOneLine();
    void crLfSplitBetweenBlocksGivesOnlyAnEmptyLine();
    void tailIsHeldUntilTaken();
    void emptyBufferYieldsNothing();
    void manyLinesKeepTheirOrderAcrossCompaction();
    void getCommand_data();
    void getCommand();
    void getCommandFindsABlankFarIntoTheLine();
};

void tst_LineHandling::terminators_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("held");
    QTest::newRow("CR LF") << "A\r\nB" << QStringList{"A"} << "B";
    QTest::newRow("lone LF") << "A\nB" << QStringList{"A"} << "B";
    QTest::newRow("lone CR") << "A\rB" << QStringList{"A"} << "B";
    QTest::newRow("LF before CR LF is its own terminator") << "A\nB\r\nC" << QStringList{"A", "B"} << "C";
    QTest::newRow("mixed replies") << "OK\nOK\r\n" << QStringList{"OK", "OK"} << "";
    QTest::newRow("LF CR gives an empty line") << "A\n\rB" << QStringList{"A", ""} << "B";
    QTest::newRow("leading CR LF") << "\r\nOK\r\n" << QStringList{"", "OK"} << "";
    QTest::newRow("blanks trimmed, inner kept") << "   OK go   \n" << QStringList{"OK go"} << "";
    QTest::newRow("blanks only") << "    \r\nOK\r\n" << QStringList{"", "OK"} << "";
    QTest::newRow("leading tab kept") << "\tOK\r\n" << QStringList{"\tOK"} << "";
}

void tst_LineHandling::terminators()
{
    QFETCH(QString, block);
    QFETCH(QStringList, lines);
    QFETCH(QString, held);
    ReceiveBuffer buffer;
    buffer.append(block);
    QCOMPARE(linesOf(buffer), lines);
    QCOMPARE(buffer.takeRest(), held);
}

void tst_LineHandling::replySplitAcrossBlocksIsOneLine()
{
    ReceiveBuffer buffer;
    buffer.append(QStringLiteral("O"));
    QCOMPARE(linesOf(buffer), QStringList());
    buffer.append(QStringLiteral("K welcome\r\nUS"));
    QCOMPARE(linesOf(buffer), QStringList{"OK welcome"});
    buffer.append(QStringLiteral("ER\n"));
    QCOMPARE(linesOf(buffer), QStringList{"USER"});
    QCOMPARE(buffer.heldSize(), 0);
}

void tst_LineHandling::crLfSplitBetweenBlocksGivesOnlyAnEmptyLine()
{
    ReceiveBuffer buffer;
    buffer.append(QStringLiteral("OK\r"));
    QCOMPARE(linesOf(buffer), QStringList{"OK"});
    buffer.append(QStringLiteral("\nOK\r\n"));
    QCOMPARE(linesOf(buffer), (QStringList{"", "OK"}));
}

void tst_LineHandling::tailIsHeldUntilTaken()
{
    ReceiveBuffer buffer;
    buffer.append(QStringLiteral("OK one\r\nBYE"));
    QCOMPARE(linesOf(buffer), QStringList{"OK one"});
    QCOMPARE(buffer.heldSize(), 3);
    QCOMPARE(buffer.takeRest(), QStringLiteral("BYE"));
    QCOMPARE(buffer.heldSize(), 0);
}

void tst_LineHandling::emptyBufferYieldsNothing()
{
    ReceiveBuffer buffer;
    QVERIFY(!basMisc::TopLine(buffer).has_value());
    QCOMPARE(buffer.takeRest(), QString());
}

void tst_LineHandling::manyLinesKeepTheirOrderAcrossCompaction()
{
    ReceiveBuffer buffer;
    for (int block = 0; block < 20; ++block) {
        QString text;
        for (int i = 0; i < 500; ++i)
            text += QStringLiteral("ERR %1-%2\r\n").arg(block).arg(i);
        text += QStringLiteral("OK par");
        buffer.append(text);
        QStringList got = linesOf(buffer);
        QVERIFY2(buffer.storedSize() < text.size(), "the lines taken were never let go");
        buffer.append(QStringLiteral("tial\r\n"));
        got += linesOf(buffer);
        QCOMPARE(got.size(), 501);
        for (int i = 0; i < 500; ++i)
            QCOMPARE(got[i], QStringLiteral("ERR %1-%2").arg(block).arg(i));
        QCOMPARE(got.last(), QStringLiteral("OK partial"));
    }
}

void tst_LineHandling::getCommand_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("rest");
    QTest::newRow("no blank") << "BYE"
                              << "BYE"
                              << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("message") << "ERR Bad password"
                             << "ERR"
                             << "Bad password";
    QTest::newRow("two blanks") << "OK  word"
                                << "OK"
                                << " word";
    QTest::newRow("case kept") << "ok fine"
                               << "ok"
                               << "fine";
    QTest::newRow("tab is no blank") << "OK\tthere"
                                     << "OK\tthere"
                                     << "";
}

void tst_LineHandling::getCommand()
{
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(QString, rest);
    QCOMPARE(basMisc::GetCommand(line), word);
    QCOMPARE(line, rest);
}

void tst_LineHandling::getCommandFindsABlankFarIntoTheLine()
{
    QString line = QString(40000, QLatin1Char('x')) + QStringLiteral(" tail");
    QCOMPARE(basMisc::GetCommand(line).size(), 40000);
    QCOMPARE(line, QStringLiteral("tail"));
}

QTEST_GUILESS_MAIN(tst_LineHandling)
#include "tst_LineHandling.moc"
