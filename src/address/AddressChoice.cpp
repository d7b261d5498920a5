#include "address/AddressChoice.h"

#include "address/AddressRange.h"
#include "address/PostableAddress.h"

#include <QHostAddress>

namespace {

using Source = AddressFrom::Source;

bool privateAddress(const QString& address)
{
    return PostableAddress::of(address).kind == PostableAddress::Kind::Private;
}

// Why the router gave no public address.
QString routerWhy(const IRouter::Answer& answer)
{
    if (answer.address.isEmpty())
        return answer.why;
    const std::optional<AddressRange> range = AddressRange::of(QHostAddress(answer.address));
    return QStringLiteral("the router's outside address ") + answer.address + QStringLiteral(" is ") +
           (range ? range->what : QStringLiteral("not an address")) +
           QStringLiteral(", not a public one: carrier-grade or double NAT");
}

QString unreachableLine(const AddressChoice::Readings& readings)
{
    if (!readings.router || readings.router->address.isEmpty())
        return {};
    const IRouter::Answer& router = *readings.router;
    if (!AddressChoice::publicAnswer(router))
        return QStringLiteral("Inbound connections cannot reach this machine through the name: ") +
               routerWhy(router) + QLatin1Char('.');
    if (readings.lookup && !readings.lookup->address.isEmpty() &&
        !QHostAddress(readings.lookup->address).isEqual(QHostAddress(router.address)))
        return QStringLiteral("Inbound connections cannot reach this machine through the name: the router's "
                              "outside address is ") +
               router.address + QStringLiteral(", the lookup service sees ") + readings.lookup->address +
               QStringLiteral(" (carrier-grade or double NAT).");
    return {};
}

} // namespace

bool AddressChoice::publicAnswer(const IRouter::Answer& answer)
{
    QHostAddress address;
    return address.setAddress(answer.address) && !AddressRange::of(address);
}

bool AddressChoice::named() const
{
    return !fromConnection || QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol;
}

AddressChoice::Ask AddressChoice::next(const AddressFrom& from, const Readings& readings)
{
    switch (from.source) {
    case Source::Connection:
        return Ask::Nothing;
    case Source::Router:
        return readings.router ? Ask::Nothing : Ask::Router;
    case Source::Auto:
    case Source::Lookup:
        break;
    }
    if (!readings.connectionProblem.isEmpty() || !privateAddress(readings.connection))
        return Ask::Nothing;
    if (!readings.router)
        return Ask::Router;
    if (publicAnswer(*readings.router) || !readings.routerWasPublicAt.isEmpty())
        return Ask::Nothing;
    return from.source == Source::Lookup && !readings.lookup ? Ask::Lookup : Ask::Nothing;
}

AddressChoice AddressChoice::of(const AddressFrom& from, const Readings& readings)
{
    AddressChoice choice;
    choice.unreachable = unreachableLine(readings);
    const auto fromRouter = [&] {
        choice.address = readings.router->address;
        choice.source = QStringLiteral("the router (") + readings.router->protocol + QLatin1Char(')');
    };
    if (from.source == Source::Router) {
        if (readings.router && publicAnswer(*readings.router))
            fromRouter();
        else
            choice.problem =
                readings.router ? routerWhy(*readings.router) : QStringLiteral("the router was not asked");
        return choice;
    }
    if (!readings.connectionProblem.isEmpty()) {
        choice.problem = readings.connectionProblem;
        return choice;
    }
    const auto fromConnection = [&] {
        choice.address = readings.connection;
        choice.fromConnection = true;
        choice.source = QStringLiteral("the connection");
    };
    if (from.source == Source::Connection || !privateAddress(readings.connection) || !readings.router) {
        fromConnection();
        return choice;
    }
    if (publicAnswer(*readings.router)) {
        fromRouter();
        return choice;
    }
    if (!readings.routerWasPublicAt.isEmpty()) {
        choice.problem = QStringLiteral("waiting for the router ") + readings.routerWasPublicAt +
                         QStringLiteral(", which had a public outside address and has none now (") +
                         routerWhy(*readings.router) + QLatin1Char(')');
        return choice;
    }
    if (readings.lookup && !readings.lookup->address.isEmpty()) {
        choice.address = readings.lookup->address;
        choice.source = QStringLiteral("the lookup service");
        return choice;
    }
    // The user who set a lookup service has said how to find the public address: when it fails
    // (busy, down, garbage), the name keeps the address it had rather than take the private one.
    if (from.source == Source::Lookup) {
        const QString why =
            readings.lookup ? readings.lookup->why : QStringLiteral("the lookup service was not asked");
        choice.problem = readings.lookupGaveAddress
                             ? QStringLiteral("waiting for the lookup service, which gave an address on this "
                                              "network and fails now (") +
                                   why + QLatin1Char(')')
                             : QStringLiteral("no public address was found: ") + routerWhy(*readings.router) +
                                   QStringLiteral("; ") + why;
        return choice;
    }
    fromConnection();
    choice.fallback =
        QStringLiteral("No public address was found: ") + routerWhy(*readings.router) + QLatin1Char('.');
    return choice;
}
