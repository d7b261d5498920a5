#include "platform/qt/QtDialup.h"

#include <QNetworkInterface>

namespace {

bool isDialup(const QNetworkInterface& iface)
{
    const auto flags = iface.flags();
    return flags.testFlag(QNetworkInterface::IsPointToPoint) &&
           !flags.testFlag(QNetworkInterface::IsLoopBack);
}

} // namespace

std::uint32_t QtDialup::enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count)
{
    if (room == nullptr || room[0].dwSize != sizeof(RasConn))
        return 632; // the record size is not one this service knows
    QList<QNetworkInterface> dialups = QNetworkInterface::allInterfaces();
    dialups.removeIf([](const QNetworkInterface& iface) { return !isDialup(iface); });

    const auto needed = static_cast<std::uint32_t>(dialups.size() * sizeof(RasConn));
    if (needed > bytes) {
        bytes = needed;
        count = 0;
        return kRasBufferTooSmall;
    }
    for (qsizetype k = 0; k < dialups.size(); ++k) {
        RasConn& record = room[k];
        record.dwSize = sizeof(RasConn);
        record.hrasconn = static_cast<std::uint32_t>(dialups[k].index());
        qstrncpy(record.szEntryName, dialups[k].name().toLatin1().constData(), sizeof record.szEntryName);
        qstrncpy(record.szDeviceType, "ppp", sizeof record.szDeviceType);
        qstrncpy(record.szDeviceName, dialups[k].humanReadableName().toLatin1().constData(),
                 sizeof record.szDeviceName);
    }
    bytes = needed;
    count = static_cast<std::uint32_t>(dialups.size());
    return 0;
}

std::uint32_t QtDialup::getConnectStatus(std::uint32_t handle, RasConnStatus& status)
{
    if (status.dwSize != sizeof(RasConnStatus))
        return 632;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(static_cast<int>(handle));
    if (!iface.isValid() || !isDialup(iface))
        return kRasInvalidHandle;
    const auto flags = iface.flags();
    const bool connected =
        flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning);
    status.rasconnstate = connected ? kRasConnected : kRasDisconnected;
    status.dwError = 0;
    return 0;
}
