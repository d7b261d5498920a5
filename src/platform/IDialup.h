#pragma once

#include <cstdint>

// The dial-up connection records as the probe lays them out.
struct RasConn
{
    std::uint32_t dwSize;
    std::uint32_t hrasconn;
    char szEntryName[257];
    char szDeviceType[17];
    char szDeviceName[129];
};
static_assert(sizeof(RasConn) == 412);

struct RasConnStatus
{
    std::uint32_t dwSize;
    std::uint32_t rasconnstate;
    std::uint32_t dwError;
    char szDeviceType[17];
    char szDeviceName[129];
};
static_assert(sizeof(RasConnStatus) == 160);

inline constexpr std::uint32_t kRasConnected = 0x2000;
inline constexpr std::uint32_t kRasDisconnected = 0x2001;
inline constexpr std::uint32_t kRasBufferTooSmall = 603;
inline constexpr std::uint32_t kRasInvalidHandle = 6;

// The dial-up connection service. Both calls return 0 on success.
class IDialup
{
public:
    virtual ~IDialup() = default;

    // Fills room with one record per active connection (at room[0].dwSize bytes each);
    // bytes is the room's size in and the size used out.
    virtual std::uint32_t enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count) = 0;
    virtual std::uint32_t getConnectStatus(std::uint32_t handle, RasConnStatus& status) = 0;
};
