#pragma once

#include "platform/IDialup.h"

// Dial-up connections on Linux: every network interface that is point-to-point and not the
// loopback (PPP dial-up, PPPoE, mobile broadband, VPN tunnels). One is connected while it is
// up and running. Its handle is the interface index.
class QtDialup : public IDialup
{
public:
    std::uint32_t enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count) override;
    std::uint32_t getConnectStatus(std::uint32_t handle, RasConnStatus& status) override;
};
