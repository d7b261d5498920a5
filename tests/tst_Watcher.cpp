// The watcher's decisions, on the test doubles and a clock the test moves on: what it posts,
// when, and what it says.

#include "FakeAddressWatch.h"
#include "FakeClock.h"
#include "FakeDialup.h"
#include "FakeRouter.h"
#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeSocket.h"
#include "FakeWindowing.h"
#include "history/HistoryRecorder.h"
#include "settings/CSettings.h"
#include "watch/PostPacing.h"
#include "watch/Watcher.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

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
        : recorder(History(home.filePath("history")), HistoryEntry::Runner::Watch, clock, err),
          watcher({socket, store, secrets, dialup, addresses, router, lookup, windowing, clock, recorder,
                   [this] { return stamp; }, QStringLiteral("settings.ini"),
                   [this](const QString& line) { status = line; }},
                  ConsoleLog(out, err, false), timing)
    {
        setting("SubDomain", "home");
        setting("Server", "s.example");
        setting("Username", "alice");
        setting("Password", "pw");
        moveTo(kAddress);
        socket.onConnectRequest = [this] {
            connects.append(clock.elapsed());
            if (sourceFollowsAnswer)
                socket.localAddress = addresses.answers.value("s.example").address;
        };
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
    // The machine now goes out from the address, and holds nothing else; a conversation keeps
    // the address it went out from.
    void moveTo(const QString& address)
    {
        addresses.answers.insert("s.example", {address, {}});
        addresses.heldAddresses = {address};
    }
    // The server accepts the update; with stopBeforeBye the program ends before its "BYE".
    void accept(bool stopBeforeBye = false)
    {
        socket.raiseConnect();
        socket.raiseData(QByteArray("OK\r\n").repeated(7));
        if (stopBeforeBye)
            watcher.stop();
        else
            socket.raiseData("BYE\r\n");
    }
    void acceptIfRunning()
    {
        if (watcher.conversationRunning())
            accept();
    }
    // Settings saved again; the stamp says the file changed.
    void touch()
    {
        stamp += "+";
        clock.advance(2s);
    }
    void remember(Operation operation, const QString& address, ConversationResult::Outcome outcome,
                  qint64 ageMs)
    {
        HistoryEntry entry;
        entry.time = clock.now().addMSecs(-ageMs);
        entry.operation = operation;
        entry.host = kHost;
        entry.address = address;
        entry.outcome = outcome;
        recorder.history().append(entry);
    }
    QString lastPosted() const
    {
        const QList<QByteArray> lines = socket.sent.split('\n');
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (line->startsWith("IP "))
                return QString::fromLatin1(line->mid(3));
        }
        return QString();
    }

    QTemporaryDir home;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    FakeSocket socket;
    FakeSettingsStore store;
    FakeSecretStore secrets;
    FakeDialup dialup;
    FakeAddressWatch addresses;
    FakeRouter router;
    FakeAddressLookup lookup;
    FakeWindowing windowing;
    FakeClock clock;
    QByteArray stamp = "1";
    QString status;
    QList<milliseconds> connects;    // when each conversation was asked for
    bool sourceFollowsAnswer = true; // a conversation goes out from the address the watcher found
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
    void itsOwnPostCountsOnlyWhenNewest();
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
    void failedTriesAreTriedAgainAfterGrowingPauses();
    void offlineStepIsNotUndoneByItself_data();
    void offlineStepIsNotUndoneByItself();
    void stalledOutputIsDroppedNotWaitedFor();
    void settingsNeverMadePostNothing();
    void everyCheckAskedForIsAnswered_data();
    void everyCheckAskedForIsAnswered();
    void refusalWaitsForWhatTheLoginDependsOn_data();
    void refusalWaitsForWhatTheLoginDependsOn();
    void pacing_data();
    void pacing();
    void flappingIsPostedSpacedAndSettles_data();
    void flappingIsPostedSpacedAndSettles();
    void requestsInAFloodMakeOnePostEachTurn();
    void everyConversationIsRecorded_data();
    void everyConversationIsRecorded();
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
    QTest::newRow("192.168/16, its last") << "192.168.255.255" << true << "is a private address";
    QTest::newRow("past 192.168/16") << "192.169.0.1" << true << "";
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
    w.moveTo(address);
    QVERIFY(w.watcher.start());
    w.acceptIfRunning();
    // Said once per address, however often it is posted or checked.
    w.addresses.raiseChange();
    w.watcher.postNow();
    w.clock.advance(10s);
    w.acceptIfRunning();
    QCOMPARE(w.socket.connectRequests, posted ? 2 : 0);
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
    Watching w({.refresh = 1h});
    using Outcome = ConversationResult::Outcome;
    for (const int kind : earlier)
        w.remember(kind == 2 ? Operation::Offline : Operation::Update, kind == 1 ? "192.0.2.99" : kAddress,
                   kind == 3 ? Outcome::Refused : Outcome::Accepted, age);
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, posted ? 1 : 0);
}

// The watcher remembers its own post in case the history cannot be kept, but a newer entry of
// another run (the window posted another address since) is the one that counts.
void tst_Watcher::itsOwnPostCountsOnlyWhenNewest()
{
    Watching w;
    QVERIFY(w.watcher.start());
    w.accept();
    w.clock.advance(10s);
    w.remember(Operation::Update, "192.0.2.20", ConversationResult::Outcome::Accepted, 0);
    w.moveTo("192.0.2.20");
    w.addresses.raiseChange();
    w.clock.advance(10s);
    QCOMPARE(w.socket.connectRequests, 1);
}

void tst_Watcher::unchangedAddressIsPostedAgainAfterTheRefreshInterval()
{
    Watching w({.refresh = 25h});
    QVERIFY(w.watcher.start());
    w.accept();
    QCOMPARE(History::lastAccepted(w.recorder.history().entries(), kHost)->address, kAddress);
    w.clock.advance(25h - 1s);
    QCOMPARE(w.socket.connectRequests, 1);
    w.clock.advance(1s);
    QCOMPARE(w.socket.connectRequests, 2);
}

// Its connection would only wait for the time-out; it is recorded as cut off.
void tst_Watcher::conversationOverAnAddressThatWentAwayIsStartedAgain()
{
    Watching w;
    QVERIFY(w.watcher.start());
    w.socket.raiseConnect();
    w.moveTo("192.0.2.20");
    w.addresses.raiseChange();
    QCOMPARE(w.socket.closeCalls, 1);
    w.clock.advance(PostPacing::kGap);
    QCOMPARE(w.socket.connectRequests, 2);
    QVERIFY(w.watcher.conversationRunning());
    const HistoryEntry cut = History::lastAttempt(w.recorder.history().entries(), kHost).value();
    QCOMPARE(wordOf(kOutcomeWords, cut.outcome), QStringLiteral("failed"));
    QVERIFY2(cut.message.contains("cut off: the address 192.0.2.10 went away"), qPrintable(cut.message));
}

// No announcement from the system is needed: the link itself is the news.
void tst_Watcher::linkComingUpPostsWhenTheSettingsAskForIt()
{
    Watching w;
    w.setting("UpdateOnConnection", "True");
    w.addresses.answers.insert("s.example", {{}, "No route"});
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, 0);
    w.moveTo(kAddress);
    w.dialup.connections.append({7, kRasConnected});
    w.clock.advance(1s);
    QCOMPARE(w.socket.connectRequests, 1);
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
    QVERIFY(w.watcher.start());
    w.accept();
    if (kind == QLatin1String("port"))
        w.setting("Port", "24x");
    else
        w.store.values.clear(); // the defaults would be read
    w.touch();
    QVERIFY(contents(w.err).contains("the last settings that could be read stay in use"));
    w.watcher.postNow();
    w.clock.advance(PostPacing::kGap);
    QCOMPARE(w.socket.connectedPort, 2400);
}

void tst_Watcher::lockedKeyringIsTriedAgainLater()
{
    Watching w({.firstRetry = 10s});
    w.setting("Password", "");
    w.setting("PasswordStore", "keyring");
    w.secrets.secrets.insert("alice@home.dyn.brevant.example", "pw");
    w.secrets.locked = true;
    QVERIFY(w.watcher.start());
    QCOMPARE(w.socket.connectRequests, 0);
    QVERIFY(w.windowing.reports.value(0).contains("The keyring stays locked"));
    w.secrets.locked = false; // the user has logged in
    w.clock.advance(11s);
    QCOMPARE(w.socket.connectRequests, 1);
}

void tst_Watcher::onlyTheAddressCheckedIsPosted_data()
{
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("wentOutFrom");
    QTest::addColumn<QString>("posted"); // empty: nothing
    const QString stable = QStringLiteral("2001:db8:5::2");
    const QString temporary = QStringLiteral("2001:db8:5:0:2cfb:5046:f9d:cd03");
    QTest::newRow("the address checked") << kAddress << kAddress << kAddress;
    QTest::newRow("a loopback address") << kAddress << "::1"
                                        << "";
    QTest::newRow("another address") << kAddress << "192.0.2.77"
                                     << "";
    // Over IPv6 the address checked is the interface's stable one, and the connection goes out
    // from a temporary address beside it.
    QTest::newRow("IPv6: the stable address, gone out from a temporary one") << stable << temporary << stable;
    QTest::newRow("IPv6: the stable address, gone out from it") << stable << stable << stable;
}

// The connection may go out another way than the one checked, when the server's first address
// does not answer.
void tst_Watcher::onlyTheAddressCheckedIsPosted()
{
    QFETCH(QString, checked);
    QFETCH(QString, wentOutFrom);
    QFETCH(QString, posted);
    Watching w;
    w.moveTo(checked);
    w.sourceFollowsAnswer = false;
    w.socket.localAddress = wentOutFrom;
    QVERIFY(w.watcher.start());
    w.accept();
    QCOMPARE(w.lastPosted(), posted);
    const std::optional<HistoryEntry> accepted = History::lastAccepted(w.recorder.history().entries(), kHost);
    QCOMPARE(accepted ? accepted->address : QString(), posted);
}

// A history that cannot be read nor written: the watcher goes by what it posted itself, and
// says so once.
void tst_Watcher::withoutAHistoryItsOwnPostsCount()
{
    Watching w;
    QVERIFY(QDir(w.home.path()).mkdir("history"));
    QVERIFY(w.watcher.start());
    w.accept();
    w.touch();
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
    w.moveTo(kAddress);
    w.addresses.raiseChange();
    w.clock.advance(PostPacing::kGap);
    QCOMPARE(w.socket.connectRequests, 1);
}

// A minute, then twice as long after each try with no conversation, up to half an hour.
void tst_Watcher::failedTriesAreTriedAgainAfterGrowingPauses()
{
    Watching w;
    QVERIFY(w.watcher.start());
    QList<qint64> pauses;
    for (int attempt = 1; attempt <= 7; ++attempt) {
        QCOMPARE(w.socket.connectRequests, attempt);
        w.socket.raiseError(10061, "Connection refused");
        pauses.append(w.watcher.nextRetry().count() / 1000);
        w.clock.advance(w.watcher.nextRetry() * 11 / 10); // the jitter is a tenth either way
    }
    QCOMPARE(pauses, (QList<qint64>{60, 120, 240, 480, 960, 1800, 1800}));
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
    Watching w({.refresh = 1h});
    QVERIFY(w.watcher.start());
    w.accept();
    w.remember(Operation::Offline, QString(), ConversationResult::Outcome::Accepted, 0);
    if (touched)
        w.touch();
    else
        w.clock.advance(1h);
    QVERIFY(contents(w.out).contains("was taken offline"));
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

void tst_Watcher::everyCheckAskedForIsAnswered_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("noRouteFirst"); // the look asked for finds no route; the next finds one
    QTest::newRow("a retry") << "retry" << false;
    QTest::newRow("a refresh") << "refresh" << false;
    QTest::newRow("a request") << "request" << false;
    QTest::newRow("a retry that found no route") << "retry" << true;
    QTest::newRow("a refresh that found no route") << "refresh" << true;
}

// The address watch answers only the newest of the looks that wait: a check asked for (a retry,
// a refresh, SIGUSR1) while the poll's look is on its way, or whose look found no route, is
// still answered, by the next look that finds an address.
void tst_Watcher::everyCheckAskedForIsAnswered()
{
    QFETCH(QString, asked);
    QFETCH(bool, noRouteFirst);
    Watching w({.firstRetry = 10s, .refresh = 1h});
    QVERIFY(w.watcher.start());
    if (asked == "retry")
        w.socket.raiseError(10061, "Connection refused");
    else
        w.accept();
    w.addresses.answerAtOnce = false;
    if (asked == "request")
        w.watcher.postNow();
    else
        w.clock.advance(asked == "retry" ? 11s : 1h);
    QVERIFY(w.addresses.waiting());
    if (noRouteFirst) {
        w.addresses.answers.insert("s.example", {{}, "No route"});
        w.addresses.answer();
        w.moveTo(kAddress);
    }
    w.addresses.raiseChange(); // the poll, at the same moment
    w.addresses.answer();
    w.addresses.answerAtOnce = true;
    w.clock.advance(PostPacing::kGap);
    QCOMPARE(w.socket.connectRequests, 2);
}

void tst_Watcher::refusalWaitsForWhatTheLoginDependsOn_data()
{
    QTest::addColumn<QString>("key");   // changed in the settings; empty: saved again unchanged
    QTest::addColumn<QString>("value"); // its new value
    QTest::addColumn<bool>("keyring");  // the password is kept there; a "keyring" key changes it there
    QTest::addColumn<bool>("tried");
    QTest::newRow("saved again unchanged") << ""
                                           << "" << false << false;
    QTest::newRow("another address to post") << "OtherIP"
                                             << "192.0.2.50" << false << false;
    QTest::newRow("the password") << "Password"
                                  << "pw2" << false << true;
    QTest::newRow("the user name") << "Username"
                                   << "bob" << false << true;
    QTest::newRow("the host") << "SubDomain"
                              << "other" << false << true;
    QTest::newRow("the server") << "Server"
                                << "s2.example" << false << true;
    QTest::newRow("the port") << "Port"
                              << "2401" << false << true;
    QTest::newRow("keyring: saved again unchanged") << ""
                                                    << "" << true << false;
    QTest::newRow("keyring: another password there") << "keyring"
                                                     << "pw2" << true << true;
}

// After "ERR" a touch of the settings file (a backup, a sync, the window's end) must not send the
// same login again; what it depends on changed does.
void tst_Watcher::refusalWaitsForWhatTheLoginDependsOn()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, keyring);
    QFETCH(bool, tried);
    Watching w;
    w.setting("Port", "2400");
    w.addresses.answers.insert("s2.example", {kAddress, {}});
    const QString account = QStringLiteral("alice@home.dyn.brevant.example");
    if (keyring) {
        w.setting("Password", "");
        w.setting("PasswordStore", "keyring");
        w.secrets.secrets.insert(account, "pw");
    }
    QVERIFY(w.watcher.start());
    w.socket.raiseConnect();
    w.socket.raiseData("OK\r\nOK\r\nOK\r\nERR bad login\r\n");
    w.socket.raiseError(0, "closed");
    QVERIFY(w.watcher.waitingAfterRefusal());
    for (int touch = 0; touch < 10; ++touch) {
        if (touch == 5 && key == "keyring")
            w.secrets.secrets.insert(account, value);
        else if (touch == 5 && !key.isEmpty())
            w.setting(key, value);
        w.touch();
        w.addresses.raiseChange();
    }
    w.clock.advance(PostPacing::kGap);
    QCOMPARE(w.socket.connectRequests, tried ? 2 : 1);
}

void tst_Watcher::pacing_data()
{
    QTest::addColumn<QList<int>>("starts"); // seconds
    QTest::addColumn<int>("at");            // when the next is asked for, in milliseconds
    QTest::addColumn<int>("wait");          // milliseconds
    QTest::newRow("the first") << QList<int>{} << 0 << 0;
    QTest::newRow("just before the gap") << QList<int>{0} << 4999 << 1;
    QTest::newRow("at the gap") << QList<int>{0} << 5000 << 0;
    QList<int> ten;
    for (int i = 0; i < 10; ++i)
        ten.append(i * 5);
    QTest::newRow("ten in ten minutes") << ten << 50'000 << 0;
    QTest::newRow("eleven in ten minutes") << ten + QList<int>{50} << 55'000 << 55'000;
    QList<int> inside = {0};
    QList<int> outside = {0};
    for (int i = 0; i < 10; ++i) {
        inside.append(590 + i);
        outside.append(591 + i);
    }
    QTest::newRow("eleven, the first just inside ten minutes") << inside << 604'000 << 55'000;
    QTest::newRow("eleven, the first just outside") << outside << 605'000 << 0;
    QTest::newRow("slow, a start after just under ten quiet minutes")
        << ten + QList<int>{50, 649} << 650'000 << 59'000;
    QTest::newRow("slow, a start after ten quiet minutes") << ten + QList<int>{50, 650} << 651'000 << 4000;
}

void tst_Watcher::pacing()
{
    QFETCH(QList<int>, starts);
    QFETCH(int, at);
    QFETCH(int, wait);
    PostPacing pacing;
    for (const int start : starts)
        pacing.started(std::chrono::seconds(start));
    QCOMPARE(pacing.waitAt(milliseconds(at)).count(), wait);
}

void tst_Watcher::flappingIsPostedSpacedAndSettles_data()
{
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("apartMs");
    QTest::addColumn<bool>("slowServer"); // each conversation is cut off by the next change
    QTest::newRow("50 changes 0.1 s apart") << 50 << 100 << false;
    QTest::newRow("1,000 changes 50 ms apart") << 1000 << 50 << false;
    QTest::newRow("200 changes a second apart") << 200 << 1000 << false;
    QTest::newRow("300 changes, a slow server") << 300 << 333 << true;
}

// Posts come at least PostPacing::kGap apart, and a minute apart once more than ten fell within
// ten minutes; the address in force when the flapping stops is the one the server holds.
void tst_Watcher::flappingIsPostedSpacedAndSettles()
{
    QFETCH(int, changes);
    QFETCH(int, apartMs);
    QFETCH(bool, slowServer);
    Watching w;
    QVERIFY(w.watcher.start());
    QString address;
    for (int change = 1; change <= changes; ++change) {
        address = QStringLiteral("192.0.2.%1").arg(change % 2 ? 11 : 12);
        if (change == changes)
            address = QStringLiteral("192.0.2.13");
        w.moveTo(address);
        w.addresses.raiseChange();
        if (!slowServer)
            w.acceptIfRunning();
        w.clock.advance(milliseconds(apartMs));
    }
    w.clock.advance(2min);
    w.acceptIfRunning();
    QCOMPARE(w.lastPosted(), address);
    QCOMPARE(History::lastAccepted(w.recorder.history().entries(), kHost)->address, address);
    for (qsizetype i = 1; i < w.connects.size(); ++i) {
        const bool slow = i > PostPacing::kBurst &&
                          w.connects[i - 1] - w.connects[i - 1 - PostPacing::kBurst] < PostPacing::kWindow;
        QVERIFY2(w.connects[i] - w.connects[i - 1] >= (slow ? PostPacing::kSlowGap : PostPacing::kGap),
                 qPrintable(QStringLiteral("post %1").arg(i)));
    }
    QVERIFY(w.connects.size() <= 1 + (changes * apartMs) / 5000 + 1);
}

// SIGUSR1 sent thousands of times: one post for all that came while one ran or waited its turn.
void tst_Watcher::requestsInAFloodMakeOnePostEachTurn()
{
    Watching w;
    QVERIFY(w.watcher.start());
    for (int signal = 0; signal < 3000; ++signal) {
        w.watcher.postNow();
        w.acceptIfRunning();
        w.clock.advance(2ms);
    }
    w.clock.advance(PostPacing::kGap);
    w.acceptIfRunning();
    // At the start, then one each 5 seconds of the 6 the flood lasted, and one for its end.
    QCOMPARE(w.socket.connectRequests, 3);
    QCOMPARE(w.recorder.history().entries().size(), 3);
}

void tst_Watcher::everyConversationIsRecorded_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("ended after the server accepted, before its BYE") << "accepted"
                                                                     << "accepted"
                                                                     << "OK";
    QTest::newRow("ended before the server accepted")
        << "connected"
        << "failed"
        << "Error: The conversation was cut off: the watcher was ended.";
    QTest::newRow("ended while connecting") << "connecting"
                                            << "failed"
                                            << "Error: The conversation was cut off: the watcher was ended.";
}

// SIGTERM at any moment: a step the server accepted is in the history, and so is a conversation
// cut off, once.
void tst_Watcher::everyConversationIsRecorded()
{
    QFETCH(QString, end);
    QFETCH(QString, outcome);
    QFETCH(QString, message);
    Watching w;
    QVERIFY(w.watcher.start());
    if (end == "accepted") {
        w.accept(true);
    } else {
        if (end == "connected")
            w.socket.raiseConnect();
        w.watcher.stop();
    }
    const QList<HistoryEntry> entries = w.recorder.history().entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(wordOf(kOutcomeWords, entries.first().outcome), outcome);
    QCOMPARE(entries.first().message, message);
    QCOMPARE(entries.first().host, kHost);
}

QTEST_GUILESS_MAIN(tst_Watcher)
#include "tst_Watcher.moc"
