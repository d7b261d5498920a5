#pragma once

class IDialup;

namespace basDialupNetworking {

// Rooms for this many connections are offered to the enumeration.
inline constexpr int kConnectionRoom = 256;

// True when at least one active dial-up connection is in the connected state. A failed
// enumeration, or no connection at all, answers false.
bool IsDialupConnected(IDialup& dialup);

} // namespace basDialupNetworking
