#include "monitor/basDialupNetworking.h"

#include "platform/IDialup.h"

#include <algorithm>
#include <memory>

namespace basDialupNetworking {

bool IsDialupConnected(IDialup& dialup)
{
    // One zero-filled status record serves every query of this call.
    RasConnStatus status{};

    const auto room = std::make_unique<RasConn[]>(kConnectionRoom);
    room[0].dwSize = sizeof(RasConn);
    std::uint32_t bytes = sizeof(RasConn) * kConnectionRoom;
    std::uint32_t count = 0;

    if (dialup.enumConnections(room.get(), bytes, count) != 0)
        return false;

    bool connected = false;
    const std::uint32_t listed = std::min<std::uint32_t>(count, kConnectionRoom);
    for (std::uint32_t k = 0; k < listed; ++k) {
        status.dwSize = sizeof(RasConnStatus);
        if (dialup.getConnectStatus(room[k].hrasconn, status) == 0 && status.rasconnstate == kRasConnected)
            connected = true;
    }
    return connected;
}

} // namespace basDialupNetworking
