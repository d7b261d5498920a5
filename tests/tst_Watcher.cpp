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
    void unreadableSettingsLaterKeepTheLastGood();
    void lockedKeyringIsTriedAgainLater();
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
    QTest::addColumn<bool>("fresh"); // all earlier entries within the refresh interval
    QTest::addColumn<bool>("posted");
    QTest::newRow("nothing yet") << QList<int>{} << true << true;
    QTest::newRow("this address, lately") << QList<int>{0} << true << false;
    QTest::newRow("this address, long ago") << QList<int>{0} << false << true;
    QTest::newRow("another address") << QList<int>{1} << true << true;
    QTest::newRow("taken offline since") << QList<int>{0, 2} << true << true;
    QTest::newRow("refused since") << QList<int>{0, 3} << true << false;
}

// What the window, a script or an earlier watcher posted counts as the watcher's own.
void tst_Watcher::theHistoryDecidesAtStart()
{
    QFETCH(QList<int>, earlier);
    QFETCH(bool, fresh);
    QFETCH(bool, posted);
    WatcherTiming timing;
    timing.refresh = 1h;
    Watching w(timing);
    using Outcome = ConversationResult::Outcome;
    for (const int kind : earlier)
        w.remember(kind == 2 ? Operation::Offline : Operation::Update, kind == 1 ? "192.0.2.99" : kAddress,
                   kind == 3 ? Outcome::Refused : Outcome::Accepted, fresh ? 1000 : 2 * 3600 * 1000);
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

void tst_Watcher::unreadableSettingsLaterKeepTheLastGood()
{
    Watching w;
    w.setting("Port", "2400");
    QVERIFY(w.watcher.start());
    w.accept();
    w.setting("Port", "24x");
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

QTEST_GUILESS_MAIN(tst_Watcher)
#include "tst_Watcher.moc"
