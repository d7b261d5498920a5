// The watcher's decisions, on the test doubles: what it posts, when, and what it says.

#include "FakeAddressWatch.h"
#include "FakeDialup.h"
#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeSocket.h"
#include "FakeWindowing.h"
#include "history/HistoryRecorder.h"
#include "settings/CSettings.h"
#include "watch/Watcher.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const QString kHost = QStringLiteral("home.dyn.brevant.example");
const QString kAddress = QStringLiteral("192.0.2.10");

QByteArray contents(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray text;
    char piece[4096];
    for (size_t n; (n = std::fread(piece, 1, sizeof piece, file)) > 0;)
        text.append(piece, static_cast<qsizetype>(n));
    return text;
}

// A watcher on the doubles, the server reached from kAddress.
struct Watching
{
    explicit Watching(const WatcherTiming& timing = {})
        : recorder(History(home.filePath("history")), HistoryEntry::Runner::Watch, err),
          watcher({socket, store, secrets, dialup, addresses, windowing, recorder.history(),
                   [this](const ConversationResult& result) { recorder.record(result); },
                   [this] { return stamp; }, QStringLiteral("settings.ini")},
                  ConsoleLog(out, err, false), timing)
    {
        setting("SubDomain", "home");
        setting("Server", "s.example");
        addresses.answers.insert("s.example", {kAddress, {}});
        addresses.heldAddresses.insert(kAddress);
        socket.localAddress = kAddress;
    }
    ~Watching()
    {
        watcher.stop();
        std::fclose(out);
        std::fclose(err);
    }

    void setting(const QString& key, const QString& text)
    {
        store.values.insert(FakeSettingsStore::path(windowing.titleText, key), text);
    }
    // The server accepts the update.
    void accept()
    {
        socket.raiseConnect();
        socket.raiseData(QByteArray("OK\r\n").repeated(7) + "BYE\r\n");
    }
    void remember(Operation operation, const QString& address, ConversationResult::Outcome outcome,
                  qint64 ageMs)
    {
        HistoryEntry entry;
        entry.time = QDateTime::currentDateTimeUtc().addMSecs(-ageMs);
        entry.operation = operation;
        entry.host = kHost;
        entry.address = address;
        entry.outcome = outcome;
        recorder.history().append(entry);
    }

    QTemporaryDir home;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    FakeSocket socket;
    FakeSettingsStore store;
    FakeSecretStore secrets;
    FakeDialup dialup;
    FakeAddressWatch addresses;
    FakeWindowing windowing;
    QByteArray stamp = "1";
    HistoryRecorder recorder;
    Watcher watcher;
};

} // namespace

class tst_Watcher : public QObject
{
    Q_OBJECT
private slots:
    void addressesOthersCannotReachAreNotPosted_data();
    void addressesOthersCannotReachAreNotPosted();
    void theHistoryDecidesAtStart_data();
    void theHistoryDecidesAtStart();
    void unchangedAddressIsPostedAgainAfterTheRefreshInterval();
    void conversationOverAnAddressThatWentAwayIsStartedAgain();
    void linkComingUpPostsWhenTheSettingsAskForIt();
    void unreadableSettingsLaterKeepTheLastGood_data();
    void unreadableSettingsLaterKeepTheLastGood();
    void lockedKeyringIsTriedAgainLater();
    void onlyTheAddressCheckedIsPosted_data();
    void onlyTheAddressCheckedIsPosted();
    void withoutAHistoryItsOwnPostsCount();
    void routeLostAndBackIsNoChange();
    void offlineStepIsNotUndoneByItself_data();
    void offlineStepIsNotUndoneByItself();
    void stalledOutputIsDroppedNotWaitedFor();
    void settingsNeverMadePostNothing();
};

void tst_Watcher::addressesOthersCannotReachAreNotPosted_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("posted");
    QTest::addColumn<QString>("said");
    QTest::newRow("loopback") << "127.0.0.1" << false << "it is a loopback address";
    QTest::newRow("IPv6 loopback") << "::1" << false << "it is a loopback address";
    QTest::newRow("link-local") << "169.254.3.4" << false << "it is a link-local address";
    QTest::newRow("IPv6 link-local") << "fe80::1" << false << "it is a link-local address";
    QTest::newRow("unspecified") << "0.0.0.0" << false << "it is the unspecified address";
    QTest::newRow("10/8") << "10.1.2.3" << true << "is a private address";
    QTest::newRow("172.16/12, its last") << "172.31.255.255" << true << "is a private address";
    QTest::newRow("past 172.16/12") << "172.32.0.1" << true << "";
    QTest::newRow("100.64/10") << "100.127.0.1" << true << "is a private address";
    QTest::newRow("past 100.64/10") << "100.128.0.1" << true << "";
    QTest::newRow("fc00::/7") << "fd12::1" << true << "is a private address";
    QTest::newRow("public") << "192.0.2.10" << true << "";
}

void tst_Watcher::addressesOthersCannotReachAreNotPosted()
{
    QFETCH(QString, address);
    QFETCH(bool, posted);
    QFETCH(QString, said);
    Watching w;
    w.addresses.answers.insert("s.example", {address, {}});
    QVERIFY(w.watcher.start());
    w.addresses.raiseChange(); // said once per change only
    QCOMPARE(w.socket.connectRequests, posted ? 1 : 0);
    const QByteArray out = contents(w.out);
    QCOMPARE(out.count("private address") + out.count("it is "), said.isEmpty() ? 0 : 1);
    QVERIFY2(out.contains(said.toLatin1()), out.constData());
}

void tst_Watcher::theHistoryDecidesAtStart_data()
{
    QTest::addColumn<QList<int>>(
        "earlier");                  // per entry: 0 update of kAddress, 1 of another, 2 offline, 3 refused
    QTest::addColumn<qint64>("age"); // of all earlier entries, in milliseconds; the refresh is an hour
    QTest::addColumn<bool>("posted");
    QTest::newRow("nothing yet") << QList<int>{} << 1000LL << true;
    QTest::newRow("this address, lately") << QList<int>{0} << 1000LL << false;
    QTest::newRow("this address, long ago") << QList<int>{0} << 7'200'000LL << true;
    QTest::newRow("this address, ahead of the clock") << QList<int>{0} << -7'200'000LL << true;
    QTest::newRow("another address") << QList<int>{1} << 1000LL << true;
    QTest::newRow("taken offline since") << QList<int>{0, 2} << 1000LL << true;
    QTest::newRow("refused since") << QList<int>{0, 3} << 1000LL << false;
}

// What the window, a script or an earlier watcher posted counts as the watcher's own.
void tst_Watcher::theHistoryDecidesAtStart()
{
    QFETCH(QList<int>, earlier);
    QFETCH(qint64, age);
    QFETCH(bool, posted);
    WatcherTiming timing;
    timing.refresh = 1h;
    Watching w(timing);
    using Outcome = ConversationResult::Outcome;
    for (const int kind : earlier)
        w.remember(kind == 2 ? Operation::Offline : Operation::Update, kind == 1 ? "192.0.2.99" : kAddress,
                   kind == 3 ? Outcome::Refused : Outcome::Accepted, age);
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, posted ? 1 : 0);
}

void tst_Watcher::unchangedAddressIsPostedAgainAfterTheRefreshInterval()
{
    WatcherTiming timing;
    timing.refresh = 300ms;
    Watching w(timing);
    QVERIFY(w.watcher.start());
    w.accept();
    QCOMPARE(w.recorder.history().lastAccepted(kHost)->address, kAddress);
    QTRY_COMPARE(w.socket.connectRequests, 2);
}

// Its connection would only wait for the time-out.
void tst_Watcher::conversationOverAnAddressThatWentAwayIsStartedAgain()
{
    Watching w;
    QVERIFY(w.watcher.start());
    w.socket.raiseConnect();
    w.addresses.heldAddresses.clear();
    w.addresses.answers.insert("s.example", {"192.0.2.20", {}});
    w.addresses.raiseChange();
    QCOMPARE(w.socket.closeCalls, 1);
    QCOMPARE(w.socket.connectRequests, 2);
    QVERIFY(w.watcher.conversationRunning());
}

// No announcement from the system is needed: the link itself is the news.
void tst_Watcher::linkComingUpPostsWhenTheSettingsAskForIt()
{
    Watching w;
    w.setting("UpdateOnConnection", "True");
    w.addresses.answers.insert("s.example", {{}, "No route"});
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, 0);
    w.addresses.answers.insert("s.example", {kAddress, {}});
    w.dialup.connections.append({7, kRasConnected});
    QTRY_COMPARE(w.socket.connectRequests, 1);
}

void tst_Watcher::unreadableSettingsLaterKeepTheLastGood_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("unreadable") << "port";
    QTest::newRow("gone, emptied or without a settings group") << "gone";
}

void tst_Watcher::unreadableSettingsLaterKeepTheLastGood()
{
    QFETCH(QString, kind);
    Watching w;
    w.setting("Port", "2400");
    w.setting("Username", "alice");
    QVERIFY(w.watcher.start());
    w.accept();
    if (kind == QLatin1String("port"))
        w.setting("Port", "24x");
    else
        w.store.values.clear(); // the defaults would be read
    w.stamp = "2";
    w.watcher.rereadSettings();
    QCOMPARE(gSettings->Port(), 2400);
    QVERIFY(contents(w.err).contains("the last settings that could be read stay in use"));
}

void tst_Watcher::lockedKeyringIsTriedAgainLater()
{
    Watching w({.firstRetry = 10ms});
    w.setting("PasswordStore", "keyring");
    w.secrets.secrets.insert("@home.dyn.brevant.example", "pw");
    w.secrets.locked = true;
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, 0);
    QVERIFY(w.windowing.reports.value(0).contains("The keyring stays locked"));
    w.secrets.locked = false; // the user has logged in
    QTRY_COMPARE(w.socket.connectRequests, 1);
}

void tst_Watcher::onlyTheAddressCheckedIsPosted_data()
{
    QTest::addColumn<QString>("wentOutFrom");
    QTest::addColumn<bool>("posted");
    QTest::newRow("the address checked") << kAddress << true;
    QTest::newRow("a loopback address") << "::1" << false;
    QTest::newRow("another address") << "192.0.2.77" << false;
}

// The connection may go out another way than the one checked, when the server's first address
// does not answer.
void tst_Watcher::onlyTheAddressCheckedIsPosted()
{
    QFETCH(QString, wentOutFrom);
    QFETCH(bool, posted);
    Watching w;
    w.socket.localAddress = wentOutFrom;
    QVERIFY(w.watcher.start());
    w.accept();
    QCOMPARE(w.socket.sent.contains("IP " + wentOutFrom.toLatin1()), posted);
    QCOMPARE(w.recorder.history().lastAccepted(kHost).has_value(), posted);
}

// A history that cannot be read nor written: the watcher goes by what it posted itself, and
// says so once.
void tst_Watcher::withoutAHistoryItsOwnPostsCount()
{
    Watching w;
    QVERIFY(QDir(w.home.path()).mkdir("history"));
    QVERIFY(w.watcher.start());
    w.accept();
    w.stamp = "2"; // the settings file was touched
    w.watcher.rereadSettings();
    QCOMPARE(w.socket.connectRequests, 1);
    QCOMPARE(contents(w.err).count("cannot be read"), 1);
}

// A route that goes and comes back with the same address does not cut short the wait after a
// failed try.
void tst_Watcher::routeLostAndBackIsNoChange()
{
    Watching w;
    QVERIFY(w.watcher.start());
    w.socket.raiseError(10061, "Connection refused");
    QVERIFY(w.watcher.nextRetry() > 0ms);
    w.addresses.answers.insert("s.example", {{}, "No route"});
    w.addresses.raiseChange();
    w.addresses.answers.insert("s.example", {kAddress, {}});
    w.addresses.raiseChange();
    QCOMPARE(w.socket.connectRequests, 1);
}

void tst_Watcher::offlineStepIsNotUndoneByItself_data()
{
    QTest::addColumn<bool>("touched"); // else the refresh is due
    QTest::newRow("a refresh") << false;
    QTest::newRow("the settings saved again unchanged") << true;
}

// Someone took the host offline while the watcher ran: nothing but a change brings it back.
void tst_Watcher::offlineStepIsNotUndoneByItself()
{
    QFETCH(bool, touched);
    Watching w({.refresh = touched ? 1h : 200ms});
    QVERIFY(w.watcher.start());
    w.accept();
    w.remember(Operation::Offline, QString(), ConversationResult::Outcome::Accepted, 0);
    if (touched) {
        w.stamp = "2";
        w.watcher.rereadSettings();
    }
    QTRY_VERIFY(contents(w.out).contains("was taken offline"));
    QCOMPARE(w.socket.connectRequests, 1);
}

// A reader that stopped reading must not stop the watcher: the line goes unwritten, and the
// next one that can be written says so.
void tst_Watcher::stalledOutputIsDroppedNotWaitedFor()
{
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    while (::write(ends[1], "x", 1) == 1) {
    }
    ::fcntl(ends[1], F_SETFL, 0);
    std::FILE* out = ::fdopen(ends[1], "w");
    const ConsoleLog log(out, out, false, ConsoleLog::WhenStalled::Drop);
    const auto drain = [&ends] {
        QByteArray got;
        char piece[65536];
        for (ssize_t n; (n = ::read(ends[0], piece, sizeof piece)) > 0;)
            got.append(piece, n);
        return got;
    };
    log.entry("lost");
    drain();
    log.entry("kept");
    std::fclose(out);
    QCOMPARE(drain(), QByteArray("(1 line was dropped: nobody read them)\nkept\n"));
    ::close(ends[0]);
}

void tst_Watcher::settingsNeverMadePostNothing()
{
    Watching w;
    w.store.values.clear();
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, 0);
    QVERIFY(contents(w.out).contains("the settings name no user and no host"));
}

QTEST_GUILESS_MAIN(tst_Watcher)
#include "tst_Watcher.moc"
