#include "address/PostableAddress.h"

#include "address/AddressRange.h"

#include <QHostAddress>

PostableAddress PostableAddress::of(const QString& text)
{
    QHostAddress address;
    if (!address.setAddress(text))
        return {Kind::Unusable, QStringLiteral("not an address")};
    const std::optional<AddressRange> range = AddressRange::of(address);
    if (!range)
        return {Kind::Public, QString()};
    switch (range->use) {
    case AddressRange::Use::Unspecified:
    case AddressRange::Use::Loopback:
    case AddressRange::Use::LinkLocal:
        return {Kind::Unusable, range->what};
    case AddressRange::Use::Private:
    case AddressRange::Use::SharedNat:
        return {Kind::Private, QStringLiteral("a private address")};
    case AddressRange::Use::Reserved:
        break;
    }
    // A reserved address is posted as given: the user may mean it.
    return {Kind::Public, QString()};
}
