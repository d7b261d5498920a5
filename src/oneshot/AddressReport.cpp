#include "oneshot/AddressReport.h"

#include "address/AddressRange.h"

#include <QHostAddress>

namespace {

using Source = AddressFrom::Source;

// "a private address", "a public address" and the like.
QString kindOf(const QString& address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(address))
        return QStringLiteral("not an address");
    const std::optional<AddressRange> range = AddressRange::of(parsed);
    return range ? range->what : QStringLiteral("a public address");
}

QString connectionLine(const AddressChoice::Readings& readings)
{
    if (!readings.connectionProblem.isEmpty())
        return QStringLiteral("Connection: none: ") + readings.connectionProblem;
    return QStringLiteral("Connection: ") + readings.connection + QStringLiteral(" (") +
           kindOf(readings.connection) + QLatin1Char(')');
}

QString routerLine(const AddressFrom& from, const AddressChoice::Readings& readings)
{
    if (!readings.router)
        return QStringLiteral("Router: not asked: ") +
               (from.source == Source::Connection
                    ? QStringLiteral("the address comes from the connection alone")
                    : QStringLiteral("the server is reached from ") + kindOf(readings.connection) +
                          QStringLiteral(", with no router in between"));
    const IRouter::Answer& router = *readings.router;
    if (router.address.isEmpty())
        return QStringLiteral("Router: none: ") + router.why;
    QString line = QStringLiteral("Router: ") + router.address + QStringLiteral(" (") + router.protocol +
                   QStringLiteral(", gateway ") + router.gateway;
    if (!AddressChoice::publicAnswer(router))
        line += QStringLiteral("; ") + kindOf(router.address) + QStringLiteral(", not a public one");
    return line + QLatin1Char(')');
}

QString lookupLine(const AddressFrom& from, const AddressChoice::Readings& readings)
{
    if (from.source != Source::Lookup)
        return QStringLiteral("Lookup: not set");
    const QString url = from.shown();
    if (!readings.lookup)
        return QStringLiteral("Lookup: ") + url + QStringLiteral(" not asked");
    if (readings.lookup->address.isEmpty())
        return QStringLiteral("Lookup: ") + url + QStringLiteral(" failed: ") + readings.lookup->why;
    return QStringLiteral("Lookup: ") + url + QStringLiteral(" answered ") + readings.lookup->address;
}

} // namespace

AddressReport AddressReport::of(const AddressFrom& from, const AddressChoice::Readings& readings,
                                const QString& otherIP)
{
    const AddressChoice choice = AddressChoice::of(from, readings);
    AddressReport report;
    report.lines = {QStringLiteral("Address from: ") + from.shown(), connectionLine(readings),
                    routerLine(from, readings), lookupLine(from, readings)};
    if (!otherIP.isEmpty()) {
        // The options' Other IP is posted as typed: the sources decide only what Current IP is.
        report.lines.append(QStringLiteral("A post would use: ") + otherIP +
                            QStringLiteral(" (Other IP, chosen in the options)"));
        report.wouldPost = true;
    } else if (choice.address.isEmpty()) {
        report.lines.append(QStringLiteral("A post would use: nothing: ") + choice.problem);
    } else {
        report.lines.append(QStringLiteral("A post would use: ") + choice.address + QStringLiteral(" (") +
                            choice.source + QLatin1Char(')'));
        report.wouldPost = true;
        if (!choice.fallback.isEmpty())
            report.lines.append(choice.fallback);
    }
    if (!choice.unreachable.isEmpty())
        report.lines.append(choice.unreachable);
    return report;
}
