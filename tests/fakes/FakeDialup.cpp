#include "FakeDialup.h"

std::uint32_t FakeDialup::enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count)
{
    ++enumCalls;
    roomBytesSeen = bytes;
    roomRecordSizeSeen = room[0].dwSize;
    if (enumResult != 0)
        return enumResult;
    for (qsizetype k = 0; k < connections.size(); ++k)
        room[k].hrasconn = connections[k].handle;
    count = static_cast<std::uint32_t>(connections.size());
    return 0;
}

std::uint32_t FakeDialup::getConnectStatus(std::uint32_t handle, RasConnStatus& status)
{
    statusHandles.append(handle);
    statusSizeFields.append(status.dwSize);
    for (const Connection& connection : connections) {
        if (connection.handle == handle) {
            if (connection.statusResult != 0)
                return connection.statusResult;
            status.rasconnstate = connection.state;
            return 0;
        }
    }
    return kRasInvalidHandle;
}
