#include "FakeDialup.h"

#include "platform/Failure.h"

#include <cstring>

std::uint32_t FakeDialup::enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count)
{
    ++enumCalls;
    if (unreachable)
        throw Failure(failures::kDllFunctionNotFound, QStringLiteral("The dial-up service cannot be reached"),
                      QStringLiteral("FakeDialup"));
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
    if (statusHandles.isEmpty()) {
        RasConnStatus zero;
        std::memset(&zero, 0, sizeof zero);
        zero.dwSize = status.dwSize;
        firstStatusZeroFilled = std::memcmp(&zero, &status, sizeof zero) == 0;
    }
    statusHandles.append(handle);
    statusSizeFields.append(status.dwSize);
    if (scribbleOnStatus)
        std::memset(&status, 0xA5, sizeof status);
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
