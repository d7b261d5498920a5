#include "FakeWindowing.h"
#include "ui/ActivityLog.h"
#include "update/LogTimeStamp.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QtTest>

class tst_ActivityLog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void firstEntryHasNoEmptyLineBefore();
    void entryAsShown_data();
    void entryAsShown();
    void selectionIsDroppedAndEntryLandsAtTheEnd();
    void textTypedAtTheEndIsContinued();
    void newestEntryIsInViewAtTheLeftEdge();
    void oldestEntriesDropOffAndTheRestIsKeptAsWritten();
    void timeStampFollowsTheLocale_data();
    void timeStampFollowsTheLocale();
    void timeStampOfNowHasNoFractionOrZone();
    void nowIsTakenToTheSecond_data();
    void nowIsTakenToTheSecond();

private:
    std::unique_ptr<QPlainTextEdit> mBox;
    FakeWindowing mWindowing;
    std::unique_ptr<ActivityLog> mLog;
};

void tst_ActivityLog::init()
{
    mBox = std::make_unique<QPlainTextEdit>();
    mBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    mLog = std::make_unique<ActivityLog>(*mBox, mWindowing);
}

void tst_ActivityLog::firstEntryHasNoEmptyLineBefore()
{
    mLog->AppendLog(QStringLiteral("t1 - Connected."));
    QCOMPARE(mBox->toPlainText(), QStringLiteral("t1 - Connected.\n"));
    mLog->AppendLog(QStringLiteral("t2 - Disconnected."));
    QCOMPARE(mBox->toPlainText(), QStringLiteral("t1 - Connected.\nt2 - Disconnected.\n"));
    QCOMPARE(mBox->textCursor().position(), mBox->document()->characterCount() - 1);
}

void tst_ActivityLog::entryAsShown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const int bound = ActivityLog::kMaxEntryLength;
    const QString ellipsis(QChar(0x2026));
    QTest::newRow("empty") << QString() << "\n";
    QTest::newRow("embedded line breaks") << "a\r\nb"
                                          << "a\nb\n";
    QTest::newRow("at the bound") << QString(bound, QLatin1Char('x'))
                                  << QString(bound, QLatin1Char('x')) + "\n";
    QTest::newRow("one past the bound")
        << QString(bound + 1, QLatin1Char('x')) << QString(bound - 1, QLatin1Char('x')) + ellipsis + "\n";
    QTest::newRow("a surrogate pair at the cut")
        << QString(bound - 2, QLatin1Char('x')) + QStringLiteral("\U0001F600y")
        << QString(bound - 2, QLatin1Char('x')) + ellipsis + "\n";
}

void tst_ActivityLog::entryAsShown()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    mLog->AppendLog(text);
    QCOMPARE(mBox->toPlainText(), shown);
}

void tst_ActivityLog::selectionIsDroppedAndEntryLandsAtTheEnd()
{
    mLog->AppendLog(QStringLiteral("first line"));
    mLog->AppendLog(QStringLiteral("second line"));
    QTextCursor cursor(mBox->document());
    cursor.setPosition(2);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    mBox->setTextCursor(cursor);
    QVERIFY(mBox->textCursor().hasSelection());

    mLog->AppendLog(QStringLiteral("third"));
    QCOMPARE(mBox->toPlainText(), QStringLiteral("first line\nsecond line\nthird\n"));
    QVERIFY(!mBox->textCursor().hasSelection());
    QCOMPARE(mBox->textCursor().position(), mBox->toPlainText().size());
}

void tst_ActivityLog::textTypedAtTheEndIsContinued()
{
    mLog->AppendLog(QStringLiteral("entry"));
    mBox->moveCursor(QTextCursor::End);
    QTest::keyClicks(mBox.get(), QStringLiteral("typed"));
    mLog->AppendLog(QStringLiteral(" - next"));
    QCOMPARE(mBox->toPlainText(), QStringLiteral("entry\ntyped - next\n"));
}

void tst_ActivityLog::newestEntryIsInViewAtTheLeftEdge()
{
    mBox->resize(200, 100);
    mBox->show();
    QVERIFY(QTest::qWaitForWindowExposed(mBox.get()));
    for (int i = 0; i < 200; ++i)
        mLog->AppendLog(QStringLiteral("%1 - a rather long entry that is wider than the box itself").arg(i));
    QCOMPARE(mBox->verticalScrollBar()->value(), mBox->verticalScrollBar()->maximum());
    QCOMPARE(mBox->horizontalScrollBar()->value(), 0);
    QVERIFY(mBox->viewport()->rect().contains(mBox->cursorRect()));
}

void tst_ActivityLog::oldestEntriesDropOffAndTheRestIsKeptAsWritten()
{
    mBox->resize(200, 100);
    mBox->show();
    QStringList expected;
    for (int i = 0; i < ActivityLog::kMaxEntries + 700; ++i) {
        const QString entry = QStringLiteral("%1 - entry\u00a0\u2028with a soft break").arg(i);
        mLog->AppendLog(entry);
        expected.append(entry);
    }
    QCOMPARE(mBox->document()->blockCount(), ActivityLog::kMaxEntries + 1);
    QString raw = mBox->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QCOMPARE(raw, expected.mid(700).join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void tst_ActivityLog::timeStampFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("stamp");
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("german afternoon") << german << QTime(14, 5, 9) << "07.03.24 14:05:09";
    QTest::newRow("american afternoon") << american << QTime(14, 5, 9) << "3/7/24 2:05:09 PM";
    QTest::newRow("german midnight") << german << QTime(0, 0, 0) << "07.03.24";
    QTest::newRow("one second past midnight") << german << QTime(0, 0, 1) << "07.03.24 00:00:01";
}

void tst_ActivityLog::timeStampFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QTime, time);
    QFETCH(QString, stamp);
    QCOMPARE(LogTimeStamp::format(locale, QDateTime(QDate(2024, 3, 7), time)), stamp);
}

void tst_ActivityLog::timeStampOfNowHasNoFractionOrZone()
{
    const QString format = LogTimeStamp::timeFormatWithoutZone(QLocale::system());
    QVERIFY2(!format.contains(QLatin1Char('t')), qPrintable(format));
    QVERIFY(!format.contains(QStringLiteral("()")));
    QVERIFY(format.contains(QStringLiteral("ss")));
    const QString stamp = LogEntry::stamped(QStringLiteral(" - x"));
    QVERIFY(stamp.endsWith(QStringLiteral(" - x")));
    QVERIFY(!stamp.startsWith(QLatin1Char(' ')));
}

void tst_ActivityLog::nowIsTakenToTheSecond_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QTime>("shown");
    QTest::newRow("within the midnight second") << QTime(0, 0, 0, 600) << QTime(0, 0);
    QTest::newRow("a second later") << QTime(0, 0, 1, 999) << QTime(0, 0, 1);
    QTest::newRow("afternoon") << QTime(14, 5, 9, 1) << QTime(14, 5, 9);
}

void tst_ActivityLog::nowIsTakenToTheSecond()
{
    QFETCH(QTime, time);
    QFETCH(QTime, shown);
    const QDateTime moment(QDate(2024, 3, 7), time);
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(QDate(2024, 3, 7), QLocale::ShortFormat);
    const QString expected =
        shown == QTime(0, 0)
            ? date
            : date + QLatin1Char(' ') + locale.toString(shown, LogTimeStamp::timeFormatWithoutZone(locale));
    QCOMPARE(LogTimeStamp::of(moment), expected);
}

QTEST_MAIN(tst_ActivityLog)
#include "tst_ActivityLog.moc"
