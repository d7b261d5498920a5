#include "address/AddressFrom.h"
#include "address/AddressRange.h"
#include "address/LookupReply.h"
#include "address/PostableAddress.h"
#include "platform/router/DefaultRoute.h"
#include "platform/router/Gena.h"
#include "platform/router/HttpMessage.h"
#include "platform/router/NatPmp.h"

#include <QTest>
#include <QtEndian>

// What the program reads from routers and lookup services, and what it makes of addresses.
class tst_AddressMessages : public QObject
{
    Q_OBJECT
private slots:
    void ranges_data();
    void ranges();
    void addressFrom_data();
    void addressFrom();
    void natPmp_data();
    void natPmp();
    void httpMessage_data();
    void httpMessage();
    void genaNotification_data();
    void genaNotification();
    void genaAnswer_data();
    void genaAnswer();
    void genaRequests();
    void genaEventUrl_data();
    void genaEventUrl();
    void defaultRoute_data();
    void defaultRoute();
    void lookupReply_data();
    void lookupReply();
};

using Use = AddressRange::Use;
Q_DECLARE_METATYPE(std::optional<AddressRange::Use>)

void tst_AddressMessages::ranges_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<std::optional<Use>>("use");
    QTest::addColumn<PostableAddress::Kind>("postable");
    using K = PostableAddress::Kind;
    const auto none = std::optional<Use>();
    QTest::newRow("public v4") << "11.22.33.44" << none << K::Public;
    QTest::newRow("just below 100.64/10") << "100.63.255.255" << none << K::Public;
    QTest::newRow("carrier-grade NAT") << "100.64.0.1" << std::optional(Use::SharedNat) << K::Private;
    QTest::newRow("top of 100.64/10") << "100.127.255.255" << std::optional(Use::SharedNat) << K::Private;
    QTest::newRow("just above 100.64/10") << "100.128.0.0" << none << K::Public;
    QTest::newRow("10/8") << "10.1.2.3" << std::optional(Use::Private) << K::Private;
    QTest::newRow("172.16/12") << "172.31.255.1" << std::optional(Use::Private) << K::Private;
    QTest::newRow("172.32 is public") << "172.32.0.1" << none << K::Public;
    QTest::newRow("192.168/16") << "192.168.77.2" << std::optional(Use::Private) << K::Private;
    QTest::newRow("loopback") << "127.8.9.10" << std::optional(Use::Loopback) << K::Unusable;
    QTest::newRow("link-local") << "169.254.1.1" << std::optional(Use::LinkLocal) << K::Unusable;
    QTest::newRow("unspecified") << "0.0.0.0" << std::optional(Use::Unspecified) << K::Unusable;
    QTest::newRow("this network") << "0.1.2.3" << std::optional(Use::Reserved) << K::Public;
    // Reserved ranges are no router's outside address, but a user who types one means it.
    QTest::newRow("TEST-NET-1") << "192.0.2.7" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("TEST-NET-3") << "203.0.113.9" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("benchmarking") << "198.19.0.1" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("multicast") << "224.0.0.1" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("broadcast") << "255.255.255.255" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("mapped private") << "::ffff:192.168.1.1" << std::optional(Use::Private) << K::Private;
    QTest::newRow("public v6") << "2a00:1450::1" << none << K::Public;
    QTest::newRow("documentation v6") << "2001:db8:5::2" << std::optional(Use::Reserved) << K::Public;
    QTest::newRow("unique local") << "fd12::1" << std::optional(Use::Private) << K::Private;
    QTest::newRow("link-local v6 with scope") << "fe80::1%2" << std::optional(Use::LinkLocal) << K::Unusable;
    QTest::newRow("loopback v6") << "::1" << std::optional(Use::Loopback) << K::Unusable;
    QTest::newRow("unspecified v6") << "::" << std::optional(Use::Unspecified) << K::Unusable;
    QTest::newRow("not an address") << "host.example" << none << K::Unusable;
}

void tst_AddressMessages::ranges()
{
    QFETCH(QString, address);
    QFETCH(std::optional<Use>, use);
    QFETCH(PostableAddress::Kind, postable);
    const std::optional<AddressRange> range = AddressRange::of(QHostAddress(address));
    QCOMPARE(range ? std::optional(range->use) : std::nullopt, use);
    QCOMPARE(PostableAddress::of(address).kind, postable);
}

void tst_AddressMessages::addressFrom_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("stored");
    QTest::newRow("absent") << "" << true << int(AddressFrom::Source::Auto) << "auto";
    QTest::newRow("auto") << "auto" << true << int(AddressFrom::Source::Auto) << "auto";
    QTest::newRow("any case, spaces") << " Router " << true << int(AddressFrom::Source::Router) << "router";
    QTest::newRow("connection") << "connection" << true << int(AddressFrom::Source::Connection)
                                << "connection";
    QTest::newRow("http") << "http://10.9.0.1:8080/ip" << true << int(AddressFrom::Source::Lookup)
                          << "http://10.9.0.1:8080/ip";
    QTest::newRow("https") << "https://ip.example/" << true << int(AddressFrom::Source::Lookup)
                           << "https://ip.example/";
    QTest::newRow("ftp") << "ftp://ip.example/" << false << 0 << "";
    QTest::newRow("no host") << "http:///ip" << false << 0 << "";
    QTest::newRow("a word") << "public" << false << 0 << "";
    QTest::newRow("a path") << "/etc/passwd" << false << 0 << "";
}

void tst_AddressMessages::addressFrom()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, source);
    QFETCH(QString, stored);
    const std::optional<AddressFrom> read = AddressFrom::read(text);
    QCOMPARE(read.has_value(), valid);
    if (!read)
        return;
    QCOMPARE(int(read->source), source);
    QCOMPARE(read->text(), stored);
    QCOMPARE(AddressFrom::read(read->text()), read);
}

void tst_AddressMessages::natPmp_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("address");
    using K = natpmp::Datagram::Kind;
    QTest::newRow("answer") << QByteArray::fromHex("00800000000000010b16212c") << int(K::Address)
                            << "11.22.33.44";
    QTest::newRow("answer with a tail")
        << QByteArray::fromHex("00800000000000010b16212cffff") << int(K::Address) << "11.22.33.44";
    QTest::newRow("no outside connection")
        << QByteArray::fromHex("008000030000000100000000") << int(K::Refusal) << "";
    QTest::newRow("one byte short") << QByteArray::fromHex("00800000000000010b1621") << int(K::Unrelated)
                                    << "";
    QTest::newRow("the request itself") << QByteArray::fromHex("0000") << int(K::Unrelated) << "";
    QTest::newRow("a mapping answer")
        << QByteArray::fromHex("0081000000000001123412340000000a") << int(K::Unrelated) << "";
    QTest::newRow("version 1") << QByteArray::fromHex("01800000000000010b16212c") << int(K::Unrelated) << "";
    QTest::newRow("PCP announce") << QByteArray::fromHex(
                                         "0280000000000000000000010000000000000000000000000000")
                                  << int(K::Restart) << "";
    QTest::newRow("short PCP") << QByteArray::fromHex("028000000000") << int(K::Unrelated) << "";
    QTest::newRow("empty") << QByteArray() << int(K::Unrelated) << "";
}

void tst_AddressMessages::natPmp()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, kind);
    QFETCH(QString, address);
    const natpmp::Datagram read = natpmp::read(datagram);
    QCOMPARE(int(read.kind), kind);
    QCOMPARE(read.address.isNull() ? QString() : read.address.toString(), address);
    QCOMPARE(read.why.isEmpty(), kind != int(natpmp::Datagram::Kind::Refusal));
    QCOMPARE(natpmp::addressRequest(), QByteArray::fromHex("0000"));
}

void tst_AddressMessages::httpMessage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("body");
    using S = HttpReading::State;
    const QByteArray head = "NOTIFY /cb HTTP/1.1\r\nContent-Length: 5\r\n\r\n";
    QTest::newRow("whole") << head + "hello" << int(S::Complete) << QByteArray("hello");
    QTest::newRow("body split") << head + "hel" << int(S::Incomplete) << QByteArray();
    QTest::newRow("head split") << head.first(20) << int(S::Incomplete) << QByteArray();
    QTest::newRow("no length, no body")
        << QByteArray("HTTP/1.1 200 OK\r\nSID: x\r\n\r\n") << int(S::Complete) << QByteArray();
    QTest::newRow("bare line ends in the head")
        << QByteArray("NOTIFY / HTTP/1.1\nContent-Length: 2\r\n\r\nab") << int(S::Complete)
        << QByteArray("ab");
    QTest::newRow("head at the limit")
        << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(100 - 23, 'a') + "\r\n\r\n"
        << int(S::Complete) << QByteArray();
    QTest::newRow("head past the limit, unended") << QByteArray(101, 'a') << int(S::Invalid) << QByteArray();
    QTest::newRow("head past the limit")
        << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(100, 'a') + "\r\n\r\n"
        << int(S::Invalid) << QByteArray();
    QTest::newRow("body at the limit")
        << "POST / HTTP/1.1\r\nContent-Length: 50\r\n\r\n" + QByteArray(50, 'b') << int(S::Complete)
        << QByteArray(50, 'b');
    QTest::newRow("body past the limit")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 51\r\n\r\n") << int(S::Invalid) << QByteArray();
    QTest::newRow("negative length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n")
                                     << int(S::Invalid) << QByteArray();
    QTest::newRow("chunks") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                            << int(S::Invalid) << QByteArray();
    QTest::newRow("header without a name")
        << QByteArray("POST / HTTP/1.1\r\n: x\r\n\r\n") << int(S::Invalid) << QByteArray();
}

void tst_AddressMessages::httpMessage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, state);
    QFETCH(QByteArray, body);
    const HttpReading reading = HttpMessage::read(bytes, 100, 50);
    QCOMPARE(int(reading.state), state);
    QCOMPARE(reading.message.body, body);
    QCOMPARE(reading.why.isEmpty(), state != int(HttpReading::State::Invalid));
}

void tst_AddressMessages::genaNotification_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("isNotification");
    QTest::addColumn<QString>("address"); // "-" for none named
    const QByteArray head =
        "NOTIFY /cb HTTP/1.1\r\nNT: upnp:event\r\nNTS: upnp:propchange\r\nSID: uuid:1\r\n";
    const auto with = [&](const QByteArray& body) {
        return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    const QByteArray property =
        "<?xml version=\"1.0\"?><e:propertyset xmlns:e=\"urn:schemas-upnp-org:event-1-0\">"
        "<e:property><ExternalIPAddress> 11.22.33.45 </ExternalIPAddress></e:property>"
        "</e:propertyset>";
    QTest::newRow("address") << with(property) << true << "11.22.33.45";
    QTest::newRow("port mappings only")
        << with("<e:propertyset xmlns:e=\"urn:schemas-upnp-org:event-1-0\"><e:property>"
                "<PortMappingNumberOfEntries>3</PortMappingNumberOfEntries></e:property></e:propertyset>")
        << true << "-";
    QTest::newRow("broken XML") << with("<e:propertyset><ExternalIPAddress>1.2.3.4") << true << "-";
    QTest::newRow("no SID") << QByteArray(head).replace("SID: uuid:1\r\n", "") + "\r\n" << false << "-";
    QTest::newRow("another method") << QByteArray(head).replace("NOTIFY", "POST") + "\r\n" << false << "-";
    QTest::newRow("another NTS") << QByteArray(head).replace("propchange", "other") + "\r\n" << false << "-";
}

void tst_AddressMessages::genaNotification()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, isNotification);
    QFETCH(QString, address);
    const HttpReading reading = HttpMessage::read(request, gena::kMaxHead, gena::kMaxBody);
    QCOMPARE(reading.state, HttpReading::State::Complete);
    const std::optional<gena::Notification> notification = gena::readNotification(reading.message);
    QCOMPARE(notification.has_value(), isNotification);
    if (!notification)
        return;
    QCOMPARE(notification->sid, QByteArray("uuid:1"));
    QCOMPARE(notification->externalAddress.value_or(QStringLiteral("-")), address);
}

void tst_AddressMessages::genaAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("sid");
    QTest::addColumn<int>("timeout");
    QTest::newRow("accepted") << QByteArray("HTTP/1.1 200 OK\r\nSID: uuid:ab\r\nTIMEOUT: Second-300\r\n\r\n")
                              << QByteArray("uuid:ab") << 300;
    QTest::newRow("infinite") << QByteArray("HTTP/1.1 200 OK\r\nSID: uuid:ab\r\nTIMEOUT: infinite\r\n\r\n")
                              << QByteArray("uuid:ab") << 1800;
    QTest::newRow("no SID") << QByteArray("HTTP/1.1 200 OK\r\nTIMEOUT: Second-300\r\n\r\n") << QByteArray()
                            << 0;
    QTest::newRow("forgotten") << QByteArray("HTTP/1.1 412 Precondition Failed\r\n\r\n") << QByteArray() << 0;
}

void tst_AddressMessages::genaAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, sid);
    QFETCH(int, timeout);
    const auto subscription =
        gena::readAnswer(HttpMessage::read(answer, gena::kMaxHead, gena::kMaxBody).message);
    QCOMPARE(subscription ? subscription->sid : QByteArray(), sid);
    QCOMPARE(subscription ? int(subscription->timeout.count()) : 0, timeout);
}

void tst_AddressMessages::genaRequests()
{
    QCOMPARE(gena::subscribeRequest("192.168.77.1:5000", "/evt/IPConn", "http://192.168.77.2:4000/"),
             QByteArray("SUBSCRIBE /evt/IPConn HTTP/1.1\r\nHOST: 192.168.77.1:5000\r\n"
                        "CALLBACK: <http://192.168.77.2:4000/>\r\nNT: upnp:event\r\nTIMEOUT: Second-1800\r\n"
                        "Content-Length: 0\r\n\r\n"));
    QCOMPARE(gena::renewRequest("r:1", "/e", "uuid:9"),
             QByteArray("SUBSCRIBE /e HTTP/1.1\r\nHOST: r:1\r\nSID: uuid:9\r\nTIMEOUT: Second-1800\r\n"
                        "Content-Length: 0\r\n\r\n"));
    QCOMPARE(gena::answer(412), QByteArray("HTTP/1.1 412 Precondition Failed\r\nContent-Length: 0\r\n"
                                           "Connection: close\r\n\r\n"));
}

void tst_AddressMessages::genaEventUrl_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("url");
    const QByteArray description = "http://192.168.77.1:5000/rootDesc.xml";
    QTest::newRow("absolute path") << QByteArray() << description << QByteArray("/evt/IPConn")
                                   << "http://192.168.77.1:5000/evt/IPConn";
    QTest::newRow("relative path") << QByteArray() << QByteArray("http://192.168.77.1:5000/igd/desc.xml")
                                   << QByteArray("evt/IPConn") << "http://192.168.77.1:5000/igd/evt/IPConn";
    QTest::newRow("the base wins") << QByteArray("http://192.168.77.1:49000/") << description
                                   << QByteArray("/evt") << "http://192.168.77.1:49000/evt";
    QTest::newRow("a whole URL elsewhere")
        << QByteArray() << description << QByteArray("http://192.168.77.9:80/evt")
        << "http://192.168.77.9:80/evt";
    QTest::newRow("no event path") << QByteArray() << description << QByteArray() << "";
    QTest::newRow("not http") << QByteArray() << description << QByteArray("ftp://192.168.77.1/evt") << "";
    QTest::newRow("no description") << QByteArray() << QByteArray() << QByteArray("/evt") << "";
}

void tst_AddressMessages::genaEventUrl()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, description);
    QFETCH(QByteArray, path);
    QFETCH(QString, url);
    QCOMPARE(gena::eventUrl(base, description, path).toString(), url);
}

void tst_AddressMessages::defaultRoute_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("gateway"); // empty for none
    QTest::addColumn<QString>("device");
    const QByteArray head =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    // The addresses as this machine's order prints them: 0x0101A8C0 is 192.168.1.1 here.
    const auto route = [](const char* device, quint32 destination, quint32 gateway, const char* flags,
                          int metric, quint32 mask) {
        const auto hex = [](quint32 address) {
            return QByteArray::number(qToBigEndian(address), 16).toUpper().rightJustified(8, '0');
        };
        return QByteArray(device) + '\t' + hex(destination) + '\t' + hex(gateway) + '\t' + flags +
               "\t0\t0\t" + QByteArray::number(metric) + '\t' + hex(mask) + "\t0\t0\t0\n";
    };
    const QByteArray lan = route("eth0", 0xC0A80100, 0, "0001", 100, 0xFFFFFF00);
    QTest::newRow("one default") << head + lan + route("eth0", 0, 0xC0A80101, "0003", 100, 0) << "192.168.1.1"
                                 << "eth0";
    QTest::newRow("the lowest metric of several")
        << head + route("wlan0", 0, 0xC0A80201, "0003", 600, 0) +
               route("eth0", 0, 0xC0A80101, "0003", 100, 0) + route("usb0", 0, 0x0A000001, "0003", 700, 0)
        << "192.168.1.1"
        << "eth0";
    QTest::newRow("the first of equal metrics")
        << head + route("eth0", 0, 0xC0A80101, "0003", 100, 0) + route("eth1", 0, 0xC0A80201, "0003", 100, 0)
        << "192.168.1.1"
        << "eth0";
    QTest::newRow("metric 0 beats all")
        << head + route("eth0", 0, 0xC0A80101, "0003", 1, 0) + route("eth1", 0, 0x0A000001, "0003", 0, 0)
        << "10.0.0.1"
        << "eth1";
    QTest::newRow("a default that is down")
        << head + route("eth0", 0, 0xC0A80101, "0002", 0, 0) + route("eth1", 0, 0x0A000001, "0003", 50, 0)
        << "10.0.0.1"
        << "eth1";
    QTest::newRow("a network route with a gateway is no default")
        << head + route("eth0", 0x0A000000, 0xC0A80101, "0003", 0, 0xFF000000) << ""
        << "";
    QTest::newRow("a zero destination with a mask is no default")
        << head + route("eth0", 0, 0xC0A80101, "0003", 0, 0xFFFFFF00) << ""
        << "";
    QTest::newRow("the default through a device with no gateway")
        << head + route("ppp0", 0, 0, "0001", 0, 0) + route("eth0", 0, 0xC0A80101, "0003", 100, 0) << ""
        << "";
    QTest::newRow("no default") << head + lan << ""
                                << "";
    QTest::newRow("the head alone") << head << ""
                                    << "";
    QTest::newRow("empty") << QByteArray() << ""
                           << "";
    QTest::newRow("no head line") << route("eth0", 0, 0xC0A80101, "0003", 100, 0) << ""
                                  << "";
    QTest::newRow("garbage lines skipped")
        << head + "eth0\tzzzzzzzz\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n" + "eth0\t00000000\n" +
               "\x01\xff\n" + route("eth1", 0, 0x0A000001, "0003", 5, 0)
        << "10.0.0.1"
        << "eth1";
    QTest::newRow("a metric that is no number")
        << head + "eth0\t00000000\t0101A8C0\t0003\t0\t0\tlow\t00000000\t0\t0\t0\n"
        << ""
        << "";
}

void tst_AddressMessages::defaultRoute()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, gateway);
    QFETCH(QString, device);
    const std::optional<DefaultRoute> route = DefaultRoute::in(table);
    QCOMPARE(route ? route->gateway.toString() : QString(), gateway);
    QCOMPARE(route ? route->device : QString(), device);
}

void tst_AddressMessages::lookupReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("waitSeconds"); // -1 for none asked
    QTest::newRow("plain") << 200 << QByteArray("11.22.33.44\n") << QByteArray() << "11.22.33.44" << -1;
    QTest::newRow("html") << 200 << QByteArray("<html><title>IP 1.0</title><b>Your address: 11.22.33.44.</b>")
                          << QByteArray() << "11.22.33.44" << -1;
    QTest::newRow("the same twice") << 200 << QByteArray("11.22.33.44 (11.22.33.44)") << QByteArray()
                                    << "11.22.33.44" << -1;
    QTest::newRow("json v6") << 200 << QByteArray("{\"ip\":\"2a00:1450:4001::5\"}") << QByteArray()
                             << "2a00:1450:4001::5" << -1;
    QTest::newRow("two addresses") << 200 << QByteArray("11.22.33.44 via 11.22.33.1") << QByteArray() << ""
                                   << -1;
    QTest::newRow("garbage") << 200 << QByteArray("\x01\xff garbage 1.2.3 ::") << QByteArray() << "" << -1;
    QTest::newRow("too long") << 200 << QByteArray(LookupReply::kMaxBody + 1, ' ') + "11.22.33.44"
                              << QByteArray() << "" << -1;
    QTest::newRow("loopback") << 200 << QByteArray("127.0.0.1") << QByteArray() << "" << -1;
    QTest::newRow("unspecified") << 200 << QByteArray("0.0.0.0") << QByteArray() << "" << -1;
    QTest::newRow("not found") << 404 << QByteArray("11.22.33.44") << QByteArray() << "" << -1;
    QTest::newRow("no answer") << 0 << QByteArray() << QByteArray() << "" << -1;
    QTest::newRow("429 seconds") << 429 << QByteArray() << QByteArray("120") << "" << 120;
    QTest::newRow("503 date") << 503 << QByteArray() << QByteArray("Tue, 08 Dec 2026 12:05:00 GMT") << ""
                              << 300;
    QTest::newRow("503 date past") << 503 << QByteArray() << QByteArray("Tue, 08 Dec 2026 11:00:00 GMT") << ""
                                   << 0;
    QTest::newRow("429 garbage") << 429 << QByteArray() << QByteArray("soon") << "" << -1;
    QTest::newRow("429 a day") << 429 << QByteArray() << QByteArray("86400") << "" << 86400;
    QTest::newRow("429 past a day") << 429 << QByteArray() << QByteArray("86401") << "" << 86400;
    QTest::newRow("429 the largest number")
        << 429 << QByteArray() << QByteArray("9223372036854775807") << "" << 86400;
    QTest::newRow("503 date in a year")
        << 503 << QByteArray() << QByteArray("Wed, 08 Dec 2027 12:00:00 GMT") << "" << 86400;
}

void tst_AddressMessages::lookupReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, retryAfter);
    QFETCH(QString, address);
    QFETCH(int, waitSeconds);
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
    const LookupReply reply = LookupReply::of(status, body, retryAfter, now);
    QCOMPARE(reply.address, address);
    QCOMPARE(reply.why.isEmpty(), !address.isEmpty());
    QCOMPARE(reply.retryAfter ? int(reply.retryAfter->count()) : -1, waitSeconds);
}

QTEST_GUILESS_MAIN(tst_AddressMessages)
#include "tst_AddressMessages.moc"
