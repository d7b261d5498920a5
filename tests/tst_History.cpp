#include "FakeClock.h"
#include "history/History.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryTable.h"
#include "platform/Failure.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kHost = QStringLiteral("h.dyn.brevant.example");
const QDateTime kTime(QDate(2026, 12, 8), QTime(0, 2, 3), Qt::UTC);
const QByteArray kHeader = "time\trunner\toperation\thost\taddress\toutcome\tmessage\n";

// An accepted update from the window, kTime plus the given seconds.
HistoryEntry entry(const QString& message = QStringLiteral("BYE"), int second = 0)
{
    HistoryEntry made;
    made.time = kTime.addSecs(second);
    made.host = kHost;
    made.address = QStringLiteral("192.0.2.7");
    made.outcome = ConversationResult::Outcome::Accepted;
    made.message = message;
    return made;
}

// Never opens a pipe, which would wait for a writer.
QByteArray contents(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return "(not a file)";
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

void put(const QString& path, const QByteArray& text)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

const QByteArray kGoodLine =
    "2026-12-08T00:02:03Z\tonce\tupdate\th.dyn.brevant.example\t192.0.2.7\taccepted\tBYE\n";

} // namespace

class tst_History : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void entryOfAConversation_data();
    void entryOfAConversation();
    void linesAreTabSeparatedUnderAHeader();
    void unreadableLinesAreSkipped_data();
    void unreadableLinesAreSkipped();
    void keepsTheNewestLines_data();
    void keepsTheNewestLines();
    void whatCannotBeWrittenOrRead_data();
    void whatCannotBeWrittenOrRead();
    void recorderSaysOnceThatItCannotWrite();
    void lastAcceptedUpdateAndLastAttempt();
    void tableLinesUp();
    void threeWritersAtOnceKeepEveryLineWhole();
    void writerWaitsForTheLockAWhile_data();
    void writerWaitsForTheLockAWhile();
    void anotherUsersFileOrFolderIsNamed_data();
    void anotherUsersFileOrFolderIsNamed();

private:
    std::unique_ptr<QTemporaryDir> mDir;
    QString mPath;
};

void tst_History::init()
{
    mDir = std::make_unique<QTemporaryDir>();
    // Neither the state home nor the history's folder exists yet.
    qputenv("XDG_STATE_HOME", QFile::encodeName(mDir->filePath(QStringLiteral("state"))));
    mPath = History::defaultPath();
}

void tst_History::entryOfAConversation_data()
{
    QTest::addColumn<bool>("offline");
    QTest::addColumn<QString>("lastReply");
    QTest::addColumn<QString>("failure"); // what ended it, if it failed
    QTest::addColumn<QString>("address"); // what the history keeps of 192.0.2.7
    QTest::addColumn<QString>("message");
    const QString ip = QStringLiteral("192.0.2.7");
    QTest::newRow("accepted") << false << "BYE see you"
                              << "" << ip << "BYE see you";
    QTest::newRow("failed: what ended it") << false << "OK"
                                           << "Host not found" << ip << "Error: Host not found.";
    QTest::newRow("offline: no address") << true << "BYE"
                                         << ""
                                         << ""
                                         << "BYE";
    QTest::newRow("control characters removed") << false << "BYE \x1b[2Jsee\tyou\r\x7f\u0085"
                                                << "" << ip << "BYE [2Jseeyou";
    QTest::newRow("message at the limit") << false << QString(200, 'm') << "" << ip << QString(200, 'm');
    QTest::newRow("message one past it") << false << QString(201, 'm') << "" << ip << QString(200, 'm');
}

void tst_History::entryOfAConversation()
{
    QFETCH(bool, offline);
    QFETCH(QString, lastReply);
    QFETCH(QString, failure);
    QFETCH(QString, address);
    QFETCH(QString, message);
    ConversationResult result;
    result.operation = offline ? Operation::Offline : Operation::Update;
    result.host = kHost;
    result.address = QStringLiteral("192.0.2.7");
    result.lastReply = lastReply;
    result.failure = failure;
    if (failure.isEmpty())
        result.outcome = ConversationResult::Outcome::Accepted;
    const QDateTime now(QDate(2026, 12, 8), QTime(1, 2, 3, 456), Qt::OffsetFromUTC, 3600);
    const HistoryEntry made = HistoryEntry::of(HistoryEntry::Runner::Watch, result, now);
    QCOMPARE(made.time, kTime);
    QCOMPARE(made.runner, HistoryEntry::Runner::Watch);
    QCOMPARE(made.operation, result.operation);
    QCOMPARE(made.host, kHost);
    QCOMPARE(made.outcome, result.outcome);
    QCOMPARE(made.address, address);
    QCOMPARE(made.message, message);
}

void tst_History::linesAreTabSeparatedUnderAHeader()
{
    const History history(mPath);
    history.append(entry());
    // Whatever an entry holds, its line stays one line of seven columns.
    HistoryEntry offline = entry(QStringLiteral("ERR\tno\nmore"), 1);
    offline.runner = HistoryEntry::Runner::Once;
    offline.operation = Operation::Offline;
    offline.host = QStringLiteral("h\t.dyn.brevant.example");
    offline.address.clear();
    offline.outcome = ConversationResult::Outcome::Refused;
    history.append(offline);
    QCOMPARE(contents(mPath),
             kHeader +
                 "2026-12-08T00:02:03Z\twindow\tupdate\th.dyn.brevant.example\t192.0.2.7\taccepted\tBYE\n"
                 "2026-12-08T00:02:04Z\tonce\tdelete\th.dyn.brevant.example\t\trefused\tERRnomore\n");
    QCOMPARE(history.entries().size(), 2);
    struct stat info = {};
    for (const auto& [path, mode] : {std::pair{mPath, 0600u}, std::pair{QFileInfo(mPath).path(), 0700u},
                                     std::pair{mDir->filePath(QStringLiteral("state")), 0700u}}) {
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode);
    }
}

void tst_History::unreadableLinesAreSkipped_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("readable");
    QTest::newRow("a good one") << kGoodLine << true;
    QTest::newRow("ended by CR LF") << QByteArray(kGoodLine).replace("\n", "\r\n") << true;
    QTest::newRow("six columns") << QByteArray("2026-12-08T00:02:03Z\tonce\tupdate\th\taccepted\tBYE\n")
                                 << false;
    QTest::newRow("eight columns") << QByteArray(kGoodLine).replace("BYE", "BYE\tmore") << false;
    QTest::newRow("no time") << QByteArray(kGoodLine).replace("2026-12-08T00:02:03Z", "yesterday") << false;
    QTest::newRow("unknown runner") << QByteArray(kGoodLine).replace("once", "cron") << false;
    QTest::newRow("unknown operation") << QByteArray(kGoodLine).replace("update", "create") << false;
    QTest::newRow("unknown outcome") << QByteArray(kGoodLine).replace("accepted", "maybe") << false;
    QTest::newRow("cut short at the end, in its message") << kGoodLine.chopped(2) << false;
}

// Each is skipped, the lines around it are read, and the next line appended stays apart from
// it: a line cut short at the end is ended first, and then read for what it holds.
void tst_History::unreadableLinesAreSkipped()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, readable);
    const QByteArray good = QByteArray(kGoodLine).replace("BYE", "good");
    put(mPath, kHeader + good + (line.endsWith('\n') ? line + good : good + line));
    const History history(mPath);
    QCOMPARE(history.entries().size(), readable ? 3 : 2);
    history.append(entry(QStringLiteral("next")));
    const QList<HistoryEntry> read = history.entries();
    QCOMPARE(read.size(), (readable ? 4 : 3) + (line.endsWith('\n') ? 0 : 1));
    QCOMPARE(read.last().message, QStringLiteral("next"));
}

void tst_History::keepsTheNewestLines_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("oldest"); // after one more is appended
    QTest::newRow("at the limit") << History::kMaxLines - 1 << "0";
    QTest::newRow("one past it") << History::kMaxLines << "1";
}

void tst_History::keepsTheNewestLines()
{
    QFETCH(int, before);
    QFETCH(QString, oldest);
    QByteArray text = kHeader;
    for (int number = 0; number < before; ++number)
        text += QByteArray(kGoodLine).replace("BYE", QByteArray::number(number));
    put(mPath, text);
    const History history(mPath);
    history.append(entry(QStringLiteral("newest")));
    const QList<HistoryEntry> read = history.entries();
    QCOMPARE(read.size(), History::kMaxLines);
    QCOMPARE(read.first().message, oldest);
    QCOMPARE(read.last().message, QStringLiteral("newest"));
    QVERIFY(contents(mPath).startsWith(kHeader));
}

void tst_History::whatCannotBeWrittenOrRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("why"); // a part of why it cannot be written
    QTest::newRow("read-only file") << "read-only file" << true << "the file is read-only";
    QTest::newRow("read-only folder") << "read-only folder" << true << "its folder is read-only";
    QTest::newRow("a folder in its place") << "folder" << false << "a folder is in its place";
    QTest::newRow("a pipe in its place") << "pipe" << false << "something other than a file is in its place";
    QTest::newRow("a symbolic link in its place") << "link" << false << "a symbolic link is in its place";
    QTest::newRow("a file in the place of its folder")
        << "file for folder" << false << "a file is in the place";
    QTest::newRow("full disk") << "full" << true << "File too large";
}

// Nothing is written, an unreadable file is said to be so, and nothing hangs.
void tst_History::whatCannotBeWrittenOrRead()
{
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    QFETCH(QString, why);
    const QString folder = QFileInfo(mPath).path();
    const QByteArray path = QFile::encodeName(mPath);
    if (kind == "file for folder")
        put(folder, "x");
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(mPath));
    else if (kind == "pipe")
        QVERIFY(QDir().mkpath(folder) && ::mkfifo(path.constData(), 0600) == 0);
    else if (kind == "link")
        QVERIFY(QDir().mkpath(folder) && QFile::link(mDir->path(), mPath));
    else
        put(mPath, kHeader + kGoodLine);
    if (kind == "read-only file")
        QVERIFY(QFile::setPermissions(mPath, QFile::ReadOwner));
    if (kind == "read-only folder")
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const QByteArray before = contents(mPath);

    const History history(mPath);
    rlimit limit = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit unlimited = limit;
    if (kind == "full") {
        // No more than a few bytes fit: the write stops half-way, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = static_cast<rlim_t>(before.size() + 10);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    QString failed;
    try {
        history.append(entry());
    } catch (const Failure& failure) {
        QCOMPARE(failure.number, failures::kPathFileAccess);
        failed = failure.description;
    }
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(failed.contains(why), qPrintable(failed));
    QCOMPARE(contents(mPath), before);

    bool read = true;
    try {
        QCOMPARE(history.entries().size(), 1);
    } catch (const Failure&) {
        read = false;
    }
    QCOMPARE(read, readable);
}

void tst_History::recorderSaysOnceThatItCannotWrite()
{
    QVERIFY(QDir().mkpath(mPath));
    std::FILE* err = std::tmpfile();
    QVERIFY(err);
    const FakeClock clock;
    const HistoryRecorder recorder(History(mPath), HistoryEntry::Runner::Once, clock, err);
    ConversationResult result;
    result.outcome = ConversationResult::Outcome::Accepted;
    recorder.record(result);
    recorder.record(result);
    std::rewind(err);
    char said[512] = {};
    const size_t size = std::fread(said, 1, sizeof said - 1, err);
    std::fclose(err);
    QCOMPARE(QByteArray(said, static_cast<qsizetype>(size)),
             "corvane-dyndns: the history " + QFile::encodeName(mPath) +
                 " cannot be written: a folder is in its place\n");
}

void tst_History::lastAcceptedUpdateAndLastAttempt()
{
    const History history(mPath);
    QVERIFY(!History::lastAccepted(history.entries(), kHost) &&
            !History::lastAttempt(history.entries(), kHost));
    const auto add = [&](int second, Operation operation, ConversationResult::Outcome outcome,
                         const QString& host = kHost) {
        HistoryEntry e = entry(QString(), second);
        e.address = QStringLiteral("192.0.2.%1").arg(second);
        e.operation = operation;
        e.outcome = outcome;
        e.host = host;
        history.append(e);
    };
    add(1, Operation::Update, ConversationResult::Outcome::Accepted);
    add(2, Operation::Update, ConversationResult::Outcome::Refused);
    add(3, Operation::Offline, ConversationResult::Outcome::Accepted);
    add(4, Operation::Update, ConversationResult::Outcome::Accepted,
        QStringLiteral("other.dyn.brevant.example"));
    const QList<HistoryEntry> entries = history.entries();
    QCOMPARE(History::lastAccepted(entries, kHost).value().address, QStringLiteral("192.0.2.1"));
    QCOMPARE(History::lastAttempt(entries, kHost).value().time, kTime.addSecs(3));
}

void tst_History::tableLinesUp()
{
    HistoryEntry failed = entry(QString());
    failed.runner = HistoryEntry::Runner::Watch;
    failed.operation = Operation::Offline;
    failed.address.clear();
    failed.outcome = ConversationResult::Outcome::NoConversation;
    const QList<HistoryEntry> entries = {entry(), failed};
    const QString time = kTime.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(
        HistoryTable::rows(entries),
        (QStringList{
            "time                 runner  operation  host                   address    outcome   message",
            time + "  window  update     h.dyn.brevant.example  192.0.2.7  accepted  BYE",
            time + "  watch   delete     h.dyn.brevant.example             failed"}));
    HistoryEntry edited = entry();
    edited.host = QString(101, QLatin1Char('h'));
    QVERIFY(
        HistoryTable::rows({edited}).last().contains(QString(99, QLatin1Char('h')) + u'\u2026' + "  192"));
    // A character of two halves at the cut goes whole.
    edited.host =
        QString(98, QLatin1Char('h')) + QString::fromUtf8("\xF0\x9F\x8F\xA0") + QStringLiteral("hh");
    QVERIFY(
        HistoryTable::rows({edited}).last().contains(QString(98, QLatin1Char('h')) + u'\u2026' + "  192"));
}

// The window, a run from a script and the watcher, a thousand lines each, all at once.
void tst_History::threeWritersAtOnceKeepEveryLineWhole()
{
    const QStringList runners = {QStringLiteral("window"), QStringLiteral("once"), QStringLiteral("watch")};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString& runner : runners) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writers.back()->start(QStringLiteral(CORVANE_HISTORY_WRITER),
                              {mPath, runner, QString::number(History::kMaxLines)});
    }
    for (const auto& writer : writers) {
        QVERIFY(writer->waitForFinished(100000));
        QCOMPARE(writer->exitCode(), 0);
    }
    const QByteArray text = contents(mPath);
    QVERIFY(text.startsWith(kHeader) && text.endsWith('\n'));
    QCOMPARE(text.count('\n'), History::kMaxLines + 1);
    const QList<HistoryEntry> read = History(mPath).entries();
    QCOMPARE(read.size(), History::kMaxLines);
    // What each writer has left is its newest lines, in order.
    for (const QString& runner : runners) {
        QList<int> numbers;
        for (const HistoryEntry& e : read) {
            if (wordOf(kRunnerWords, e.runner) == runner)
                numbers.append(e.message.toInt());
        }
        for (qsizetype i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers[i], History::kMaxLines - numbers.size() + i);
    }
}

void tst_History::writerWaitsForTheLockAWhile_data()
{
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<bool>("written");
    QTest::newRow("held for a second: it waits") << 1000 << true;
    QTest::newRow("held for three: it gives up after two") << 3000 << false;
}

// Another writer holds the lock (a window appending while the watcher does): the line waits for
// it, but not for ever.
void tst_History::writerWaitsForTheLockAWhile()
{
    QFETCH(int, heldMs);
    QFETCH(bool, written);
    const History history(mPath);
    RegularFile::makeFolder(history.folder());
    const int fd =
        ::open(QFile::encodeName(mPath + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
    std::thread holder([fd, heldMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
        ::close(fd);
    });
    QElapsedTimer waited;
    waited.start();
    QString failed;
    try {
        history.append(entry());
    } catch (const Failure& failure) {
        failed = failure.description;
    }
    const qint64 ms = waited.elapsed();
    holder.join();
    QCOMPARE(failed.isEmpty(), written);
    QCOMPARE(history.entries().size(), written ? 1 : 0);
    if (written)
        QVERIFY2(ms >= 900, qPrintable(QString::number(ms)));
    else
        QVERIFY2(failed.contains("another writer has held it for 2 seconds") && ms >= 1900 && ms < 2900,
                 qPrintable(failed + QStringLiteral(" after %1 ms").arg(ms)));
}

void tst_History::anotherUsersFileOrFolderIsNamed_data()
{
    QTest::addColumn<QString>("owned"); // what root owns, of what the user "nobody" writes to
    QTest::addColumn<QString>("why");
    QTest::newRow("the file") << "file"
                              << "the file belongs to root, not to you (nobody); give it back with: "
                                 "sudo chown nobody: '%1'";
    QTest::newRow("its folder") << "folder"
                                << "its folder belongs to root, not to you (nobody); give it back "
                                   "with: sudo chown -R nobody: '%1'";
}

// A run with sudo leaves the history or its folder to root: the user is told whose it is and how
// to take it back, not that it is read-only.
void tst_History::anotherUsersFileOrFolderIsNamed()
{
    QFETCH(QString, owned);
    QFETCH(QString, why);
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root, to write as another user, and setpriv (util-linux)");
    const QString folder = QFileInfo(mPath).path();
    put(mPath, kHeader + kGoodLine);
    const uid_t nobody = 65534;
    for (const QString& path : {mDir->path(), mDir->filePath(QStringLiteral("state")), folder, mPath})
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    const QString rootOwns = owned == "file" ? mPath : folder;
    QCOMPARE(::chown(QFile::encodeName(rootOwns).constData(), 0, 0), 0);
    QProcess writer;
    writer.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                  QStringLiteral("--clear-groups"), QStringLiteral(CORVANE_HISTORY_WRITER), mPath,
                  QStringLiteral("watch"), QStringLiteral("1")});
    QVERIFY(writer.waitForFinished(30000));
    const QString said = QString::fromLocal8Bit(writer.readAllStandardError());
    QCOMPARE(writer.exitCode(), 1);
    QVERIFY2(said.contains(why.arg(rootOwns)), qPrintable(said));
}

QTEST_GUILESS_MAIN(tst_History)
#include "tst_History.moc"
