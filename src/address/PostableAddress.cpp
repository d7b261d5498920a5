#include "address/PostableAddress.h"

#include <QHostAddress>

#include <utility>

namespace {

bool inAny(const QHostAddress& address, std::initializer_list<std::pair<const char*, int>> subnets)
{
    for (const auto& [network, bits] : subnets) {
        if (address.isInSubnet(QHostAddress(QLatin1String(network)), bits))
            return true;
    }
    return false;
}

} // namespace

PostableAddress PostableAddress::of(const QString& text)
{
    QHostAddress address;
    if (!address.setAddress(text))
        return {Kind::Unusable, QStringLiteral("not an address")};
    bool mapped = false;
    if (const quint32 v4 = address.toIPv4Address(&mapped); mapped)
        address = QHostAddress(v4);
    if (address.isLoopback())
        return {Kind::Unusable, QStringLiteral("a loopback address")};
    if (address.isLinkLocal())
        return {Kind::Unusable, QStringLiteral("a link-local address")};
    if (address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return {Kind::Unusable, QStringLiteral("the unspecified address")};
    if (inAny(address,
              {{"10.0.0.0", 8}, {"172.16.0.0", 12}, {"192.168.0.0", 16}, {"100.64.0.0", 10}, {"fc00::", 7}}))
        return {Kind::Private, QStringLiteral("a private address")};
    return {Kind::Public, QString()};
}
