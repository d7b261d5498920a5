#include "platform/router/DefaultRoute.h"

#include <QList>
#include <QtEndian>

namespace {

constexpr quint32 kUp = 0x1;      // RTF_UP
constexpr quint32 kGateway = 0x2; // RTF_GATEWAY

enum Column { Device, Destination, Gateway, Flags, RefCnt, Use, Metric, Mask, kColumns };

// The table prints each address as the number its four bytes in network order make in this
// machine's order, in hexadecimal.
std::optional<quint32> hexNumber(const QByteArray& field)
{
    bool ok = false;
    const quint32 value = field.toUInt(&ok, 16);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<DefaultRoute> DefaultRoute::in(const QByteArray& routeTable)
{
    std::optional<DefaultRoute> best;
    bool bestHasGateway = false;
    const QList<QByteArray> lines = routeTable.split('\n');
    // The first line names the columns.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < kColumns)
            continue;
        const auto destination = hexNumber(fields.at(Destination));
        const auto mask = hexNumber(fields.at(Mask));
        const auto gateway = hexNumber(fields.at(Gateway));
        const auto flags = hexNumber(fields.at(Flags));
        bool metricOk = false;
        const quint32 metric = fields.at(Metric).toUInt(&metricOk);
        if (!destination || !mask || !gateway || !flags || !metricOk)
            continue;
        if (*destination != 0 || *mask != 0 || !(*flags & kUp))
            continue;
        if (best && metric >= best->metric)
            continue;
        best = DefaultRoute{QHostAddress(qFromBigEndian(*gateway)), QString::fromLocal8Bit(fields.at(Device)),
                            metric};
        bestHasGateway = (*flags & kGateway) && *gateway != 0;
    }
    if (!bestHasGateway)
        return std::nullopt;
    return best;
}
