#include "FakeAddressWatch.h"
#include "FakeClock.h"
#include "FakeRouter.h"
#include "address/AddressChoice.h"
#include "address/AddressFinder.h"

#include <QTest>

// Which address "Current IP" posts: the order of the sources, and how often each is asked.
class tst_AddressChoice : public QObject
{
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void onlyTheNeededSourcesAreAsked_data();
    void onlyTheNeededSourcesAreAsked();
    void aRouterThatWasPublicIsWaitedFor();
    void theLookupIsPaced();
    void aBusyLookupIsHeldAcrossRuns();
    void theRouterIsAskedAgainOnlyWhenItMayHaveChanged();
};

namespace {

const QString kServer = QStringLiteral("update.example");
const QUrl kLookupUrl(QStringLiteral("http://lookup.example/ip"));

AddressFrom from(const QString& text)
{
    return *AddressFrom::read(text == QLatin1String("url") ? kLookupUrl.toString() : text);
}

std::optional<IRouter::Answer> router(const QString& address, const QString& why = QString())
{
    if (address == QLatin1String("-"))
        return std::nullopt;
    return IRouter::Answer{QStringLiteral("192.168.77.1"), address, QStringLiteral("NAT-PMP"), why};
}

std::optional<LookupReply> lookup(const QString& address)
{
    if (address == QLatin1String("-"))
        return std::nullopt;
    if (address.isEmpty())
        return LookupReply{QString(), QStringLiteral("the lookup service answered HTTP 500"), std::nullopt};
    return LookupReply{address, QString(), std::nullopt};
}

// A finder on its doubles: the connection goes out from the address given, the router says
// what it is given (nothing: no answer), a lookup service answers 203.0.114.5.
struct Finding
{
    explicit Finding(const QString& connection, const QString& routerSaid = QString())
    {
        addresses.answers[kServer] = {connection, QString()};
        router.scripted = {QStringLiteral("192.168.77.1"), routerSaid, QStringLiteral("NAT-PMP"),
                           QStringLiteral("no answer")};
        lookup.scripted = {200, "203.0.114.5", {}, {}};
    }

    FakeAddressWatch addresses;
    FakeRouter router;
    FakeAddressLookup lookup;
    FakeClock clock;
    AddressFinder finder{{addresses, router, lookup, clock}};
    AddressChoice chosen;
    int answers = 0;

    const AddressChoice& find(const QString& setting, AddressFinder::Fresh fresh)
    {
        finder.find(from(setting), kServer, 3245, fresh, [this](const AddressChoice& choice) {
            chosen = choice;
            ++answers;
        });
        return chosen;
    }
};

} // namespace

void tst_AddressChoice::choice_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("routerSaid");
    QTest::addColumn<QString>("lookupSaid");
    QTest::addColumn<QString>("wasPublicAt");
    QTest::addColumn<QString>("posted");
    QTest::addColumn<bool>("fromConnection");
    QTest::addColumn<QString>("said"); // a part of the problem, the fallback or the unreachable line

    const QString gw = QStringLiteral("192.168.77.1");
    QTest::newRow("auto, public connection") << "auto"
                                             << "198.51.99.7"
                                             << "-"
                                             << "-"
                                             << ""
                                             << "198.51.99.7" << true << "";
    QTest::newRow("auto, loopback: a server on this machine") << "auto"
                                                              << "127.0.0.1"
                                                              << "-"
                                                              << "-"
                                                              << ""
                                                              << "127.0.0.1" << true << "";
    QTest::newRow("auto, link-local") << "auto"
                                      << "fe80::1"
                                      << "-"
                                      << "-"
                                      << ""
                                      << "fe80::1" << true << "";
    QTest::newRow("auto, private: the router's") << "auto"
                                                 << "192.168.77.2"
                                                 << "11.22.33.44"
                                                 << "-"
                                                 << ""
                                                 << "11.22.33.44" << false << "";
    QTest::newRow("auto, private, carrier-grade router")
        << "auto"
        << "192.168.77.2"
        << "100.64.0.9"
        << "-"
        << ""
        << "192.168.77.2" << true << "carrier-grade or double NAT";
    QTest::newRow("auto, private, router silent") << "auto"
                                                  << "192.168.77.2"
                                                  << ""
                                                  << "-"
                                                  << ""
                                                  << "192.168.77.2" << true << "no answer";
    QTest::newRow("auto, router silent, was public here")
        << "auto"
        << "192.168.77.2"
        << ""
        << "-" << gw << "" << false << "waiting for the router";
    QTest::newRow("auto, router gives 0.0.0.0") << "auto"
                                                << "10.0.0.5"
                                                << "0.0.0.0"
                                                << "-"
                                                << ""
                                                << "10.0.0.5" << true << "the unspecified address";
    QTest::newRow("url, router silent: the lookup's") << "url"
                                                      << "192.168.77.2"
                                                      << ""
                                                      << "203.0.114.5"
                                                      << ""
                                                      << "203.0.114.5" << false << "";
    QTest::newRow("url, router and lookup fail: nothing") << "url"
                                                          << "192.168.77.2"
                                                          << ""
                                                          << ""
                                                          << ""
                                                          << "" << false << "HTTP 500";
    QTest::newRow("url, router public, lookup differs")
        << "url"
        << "192.168.77.2"
        << "11.22.33.44"
        << "203.0.114.5"
        << ""
        << "11.22.33.44" << false << "the lookup service sees 203.0.114.5";
    QTest::newRow("connection, private") << "connection"
                                         << "192.168.77.2"
                                         << "-"
                                         << "-"
                                         << ""
                                         << "192.168.77.2" << true << "";
    QTest::newRow("router, public") << "router"
                                    << ""
                                    << "11.22.33.44"
                                    << "-"
                                    << ""
                                    << "11.22.33.44" << false << "";
    QTest::newRow("router, carrier-grade: nothing") << "router"
                                                    << ""
                                                    << "100.127.255.255"
                                                    << "-"
                                                    << ""
                                                    << "" << false << "carrier-grade NAT address";
    QTest::newRow("router, private outside") << "router"
                                             << ""
                                             << "172.31.0.1"
                                             << "-"
                                             << ""
                                             << "" << false << "a private address";
    QTest::newRow("router, documentation range") << "router"
                                                 << ""
                                                 << "192.0.2.1"
                                                 << "-"
                                                 << ""
                                                 << "" << false << "a documentation address";
    QTest::newRow("router, silent") << "router"
                                    << ""
                                    << ""
                                    << "-"
                                    << ""
                                    << "" << false << "no answer";
}

void tst_AddressChoice::choice()
{
    QFETCH(QString, setting);
    QFETCH(QString, connection);
    QFETCH(QString, routerSaid);
    QFETCH(QString, lookupSaid);
    QFETCH(QString, wasPublicAt);
    QFETCH(QString, posted);
    QFETCH(bool, fromConnection);
    QFETCH(QString, said);

    AddressChoice::Readings readings;
    readings.connection = connection;
    readings.router = router(routerSaid, QStringLiteral("no answer from the router"));
    readings.lookup = lookup(lookupSaid);
    readings.routerWasPublicAt = wasPublicAt;
    const AddressChoice choice = AddressChoice::of(from(setting), readings);
    QCOMPARE(choice.address, posted);
    QCOMPARE(choice.fromConnection, fromConnection);
    QCOMPARE(choice.problem.isEmpty(), !posted.isEmpty());
    const QString told = choice.problem + choice.fallback + choice.unreachable;
    QVERIFY2(said.isEmpty() ? told.isEmpty() : told.contains(said), qPrintable(told));
    // A fallback always says why.
    QCOMPARE(!choice.fallback.isEmpty(),
             fromConnection && setting != QLatin1String("connection") && routerSaid != QLatin1String("-"));
}

void tst_AddressChoice::onlyTheNeededSourcesAreAsked_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("routerSaid");
    QTest::addColumn<int>("connectionLooks");
    QTest::addColumn<int>("routerAsks");
    QTest::addColumn<int>("lookups");

    QTest::newRow("auto, loopback") << "auto"
                                    << "127.0.0.1"
                                    << "11.22.33.44" << 1 << 0 << 0;
    QTest::newRow("auto, private") << "auto"
                                   << "192.168.77.2"
                                   << "11.22.33.44" << 1 << 1 << 0;
    QTest::newRow("auto, shared NAT connection") << "auto"
                                                 << "100.64.1.2"
                                                 << "" << 1 << 1 << 0;
    QTest::newRow("connection, private") << "connection"
                                         << "192.168.77.2"
                                         << "11.22.33.44" << 1 << 0 << 0;
    QTest::newRow("router") << "router"
                            << "192.168.77.2"
                            << "11.22.33.44" << 0 << 1 << 0;
    QTest::newRow("url, public connection") << "url"
                                            << "198.51.99.7"
                                            << "" << 1 << 0 << 0;
    QTest::newRow("url, router silent") << "url"
                                        << "192.168.77.2"
                                        << "" << 1 << 1 << 1;
    QTest::newRow("url, router public: compared") << "url"
                                                  << "192.168.77.2"
                                                  << "11.22.33.44" << 1 << 1 << 1;
}

void tst_AddressChoice::onlyTheNeededSourcesAreAsked()
{
    QFETCH(QString, setting);
    QFETCH(QString, connection);
    QFETCH(QString, routerSaid);
    QFETCH(int, connectionLooks);
    QFETCH(int, routerAsks);
    QFETCH(int, lookups);

    Finding f(connection, routerSaid);
    f.find(setting, AddressFinder::Fresh::All);
    QCOMPARE(f.answers, 1);
    QCOMPARE(f.addresses.lookups, connectionLooks);
    QCOMPARE(f.router.asks, routerAsks);
    QCOMPARE(f.lookup.asked.size(), lookups);
}

void tst_AddressChoice::aRouterThatWasPublicIsWaitedFor()
{
    Finding f(QStringLiteral("192.168.77.2"), QStringLiteral("11.22.33.44"));
    auto& [addresses, router, lookup, clock, finder, chosen, answers] = f;
    const auto find = [&] {
        finder.find(from(QStringLiteral("auto")), kServer, 3245, AddressFinder::Fresh::Router,
                    [&](const AddressChoice& c) { chosen = c; });
        return chosen;
    };
    QCOMPARE(find().address, QStringLiteral("11.22.33.44"));
    QCOMPARE(find().source, QStringLiteral("the router (NAT-PMP)"));

    // Its outside link renews: nothing is posted, rather than the private address.
    router.scripted.address.clear();
    QCOMPARE(find().address, QString());
    QVERIFY(chosen.problem.contains(QLatin1String("waiting for the router 192.168.77.1")));

    // Another network, whose router never answered: the connection's, with the reason.
    router.scripted.gateway = QStringLiteral("10.1.1.1");
    QCOMPARE(find().address, QStringLiteral("192.168.77.2"));
    QVERIFY(!chosen.fallback.isEmpty());

    // Back on the first network: it is asked afresh, and the memory of it was let go.
    router.scripted.gateway = QStringLiteral("192.168.77.1");
    QCOMPARE(find().address, QStringLiteral("192.168.77.2"));

    // New routes forget it as well.
    router.scripted.address = QStringLiteral("11.22.33.44");
    find();
    finder.forgetNetwork();
    router.scripted.address.clear();
    QCOMPARE(find().address, QStringLiteral("192.168.77.2"));
}

void tst_AddressChoice::theLookupIsPaced()
{
    using std::chrono::seconds;
    Finding f(QStringLiteral("192.168.77.2"));
    auto& [addresses, router, lookup, clock, finder, chosen, answers] = f;
    const auto find = [&](bool fresh) {
        finder.find(from(QStringLiteral("url")), kServer, 3245,
                    fresh ? AddressFinder::Fresh::All : AddressFinder::Fresh::Router,
                    [&](const AddressChoice& c) { chosen = c; });
        return lookup.asked.size();
    };
    QCOMPARE(find(true), 1);
    QCOMPARE(chosen.address, QStringLiteral("203.0.114.5"));
    // Within five minutes the reply is reused, unless a fresh one is due.
    clock.advance(seconds(299));
    QCOMPARE(find(false), 1);
    QCOMPARE(chosen.address, QStringLiteral("203.0.114.5"));
    QCOMPARE(find(true), 2);
    clock.advance(seconds(300));
    QCOMPARE(find(false), 3);
    clock.advance(seconds(30));

    // Busy, and told when to come back: not before, fresh or not.
    lookup.scripted = {429, {}, "120", {}};
    QCOMPARE(find(true), 4);
    // It gave an address on this network: the name keeps it rather than take the private one.
    QVERIFY(chosen.problem.contains(QLatin1String("waiting for the lookup service")));
    QVERIFY(chosen.problem.contains(QLatin1String("busy")));
    QCOMPARE(chosen.address, QString());
    clock.advance(seconds(119));
    QCOMPARE(find(true), 4);
    clock.advance(seconds(1));
    lookup.scripted = {200, "garbage", {}, {}};
    QCOMPARE(find(true), 5);
    QVERIFY(chosen.problem.contains(QLatin1String("holds no address")));
    QCOMPARE(chosen.address, QString());
    // On another network the lookup has given nothing yet: still not the private address.
    addresses.answers[kServer] = {QStringLiteral("10.9.9.9"), QString()};
    find(false);
    QCOMPARE(chosen.address, QString());
    QVERIFY(chosen.problem.startsWith(QLatin1String("no public address was found")));
    QVERIFY(chosen.problem.contains(QLatin1String("holds no address")));
    addresses.answers[kServer] = {QStringLiteral("192.168.77.2"), QString()};

    // Each failure in a row waits twice as long: the busy answer one minute (it said two), the
    // garbage two, the next four.
    clock.advance(seconds(119));
    QCOMPARE(find(true), 5);
    clock.advance(seconds(1));
    QCOMPARE(find(true), 6);
    clock.advance(seconds(239));
    QCOMPARE(find(true), 6);
    clock.advance(seconds(1));
    QCOMPARE(find(true), 7);
    // An answer ends the pauses; fresh replies are still 30 s apart at least.
    lookup.scripted = {200, "203.0.114.5", {}, {}};
    clock.advance(seconds(480));
    QCOMPARE(find(true), 8);
    clock.advance(seconds(29));
    QCOMPARE(find(true), 8);
    clock.advance(seconds(1));
    QCOMPARE(find(true), 9);
}

// Runs from a script a minute apart honour a Retry-After as one watcher does.
void tst_AddressChoice::aBusyLookupIsHeldAcrossRuns()
{
    using std::chrono::seconds;
    Finding f(QStringLiteral("192.168.77.2"));
    FakeLookupHold hold;
    const auto run = [&] {
        AddressFinder finder({f.addresses, f.router, f.lookup, f.clock, &hold});
        finder.find(from(QStringLiteral("url")), kServer, 3245, AddressFinder::Fresh::All,
                    [&](const AddressChoice& c) { f.chosen = c; });
        return f.lookup.asked.size();
    };
    f.lookup.scripted = {429, {}, "120", {}};
    QCOMPARE(run(), 1);
    QCOMPARE(hold.held.value(kLookupUrl), f.clock.now().addSecs(120));
    f.clock.advance(seconds(119));
    QCOMPARE(run(), 1);
    QVERIFY(f.chosen.problem.contains(QLatin1String("asked not to be asked again before")));
    f.clock.advance(seconds(1));
    f.lookup.scripted = {200, "203.0.114.5", {}, {}};
    QCOMPARE(run(), 2);
    QCOMPARE(f.chosen.address, QStringLiteral("203.0.114.5"));
    // Further off than a service may ask: not its word.
    hold.held[kLookupUrl] = f.clock.now().addSecs(24 * 3600 + 1);
    QCOMPARE(run(), 3);
}

// A watcher looks every few seconds whether the connection's address changed; the router is not
// asked each time.
void tst_AddressChoice::theRouterIsAskedAgainOnlyWhenItMayHaveChanged()
{
    Finding f(QStringLiteral("192.168.77.2"), QStringLiteral("11.22.33.44"));
    auto& [addresses, router, lookup, clock, finder, chosen, answers] = f;
    const auto find = [&](AddressFinder::Fresh fresh) {
        finder.find(from(QStringLiteral("auto")), kServer, 3245, fresh,
                    [&](const AddressChoice& c) { chosen = c; });
        return router.asks;
    };
    using Fresh = AddressFinder::Fresh;
    QCOMPARE(find(Fresh::No), 1); // nothing to reuse yet
    router.scripted.address = QStringLiteral("11.22.33.45");
    QCOMPARE(find(Fresh::No), 1);
    QCOMPARE(chosen.address, QStringLiteral("11.22.33.44"));
    QCOMPARE(find(Fresh::Router), 2);
    QCOMPARE(chosen.address, QStringLiteral("11.22.33.45"));
    QCOMPARE(find(Fresh::All), 3);
    addresses.answers[kServer] = {QStringLiteral("192.168.77.3"), QString()};
    QCOMPARE(find(Fresh::No), 4); // another connection: another network, perhaps
    QCOMPARE(find(Fresh::No), 4);
    finder.forgetNetwork();
    QCOMPARE(find(Fresh::No), 5);
}

QTEST_GUILESS_MAIN(tst_AddressChoice)
#include "tst_AddressChoice.moc"
