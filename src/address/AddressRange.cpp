#include "address/AddressRange.h"

#include <QHostAddress>

namespace {

struct Row
{
    const char* network;
    int bits;
    AddressRange::Use use;
    const char* what;
};

// The first row that holds an address names it; a narrow row comes before the wide one it
// lies in.
constexpr Row kRows[] = {
    {"0.0.0.0", 32, AddressRange::Use::Unspecified, "the unspecified address"},
    {"0.0.0.0", 8, AddressRange::Use::Reserved, "a reserved address"},
    {"10.0.0.0", 8, AddressRange::Use::Private, "a private address"},
    {"100.64.0.0", 10, AddressRange::Use::SharedNat, "a carrier-grade NAT address"},
    {"127.0.0.0", 8, AddressRange::Use::Loopback, "a loopback address"},
    {"169.254.0.0", 16, AddressRange::Use::LinkLocal, "a link-local address"},
    {"172.16.0.0", 12, AddressRange::Use::Private, "a private address"},
    {"192.0.0.0", 24, AddressRange::Use::Reserved, "a reserved address"},
    {"192.0.2.0", 24, AddressRange::Use::Reserved, "a documentation address"},
    {"192.88.99.0", 24, AddressRange::Use::Reserved, "a reserved address"},
    {"192.168.0.0", 16, AddressRange::Use::Private, "a private address"},
    {"198.18.0.0", 15, AddressRange::Use::Reserved, "a benchmarking address"},
    {"198.51.100.0", 24, AddressRange::Use::Reserved, "a documentation address"},
    {"203.0.113.0", 24, AddressRange::Use::Reserved, "a documentation address"},
    {"224.0.0.0", 4, AddressRange::Use::Reserved, "a multicast address"},
    {"240.0.0.0", 4, AddressRange::Use::Reserved, "a reserved address"},
    {"::", 128, AddressRange::Use::Unspecified, "the unspecified address"},
    {"::1", 128, AddressRange::Use::Loopback, "a loopback address"},
    {"100::", 64, AddressRange::Use::Reserved, "a reserved address"},
    {"2001:db8::", 32, AddressRange::Use::Reserved, "a documentation address"},
    {"fc00::", 7, AddressRange::Use::Private, "a private address"},
    {"fe80::", 10, AddressRange::Use::LinkLocal, "a link-local address"},
    {"ff00::", 8, AddressRange::Use::Reserved, "a multicast address"},
};

} // namespace

std::optional<AddressRange> AddressRange::of(const QHostAddress& given)
{
    QHostAddress address = given;
    bool mapped = false;
    if (const quint32 v4 = given.toIPv4Address(&mapped); mapped)
        address = QHostAddress(v4);
    address.setScopeId(QString());
    for (const Row& row : kRows) {
        if (address.isInSubnet(QHostAddress(QLatin1String(row.network)), row.bits))
            return AddressRange{row.use, QLatin1String(row.what)};
    }
    return std::nullopt;
}
