#pragma once

#include <QString>

#include <optional>

class QHostAddress;

// The ranges set aside for something other than a machine that the Internet reaches.
struct AddressRange
{
    enum class Use {
        Unspecified,
        Loopback,
        LinkLocal,
        Private,   // a home or office network (RFC 1918, unique local)
        SharedNat, // a carrier's network behind its own NAT (100.64.0.0/10)
        Reserved,  // documentation, benchmarking, multicast and the like
    };
    Use use;
    QString what; // "a private address" and the like

    // The range the address falls in (an IPv4 address written as IPv6 counts as IPv4), or none
    // for an address the world can reach.
    static std::optional<AddressRange> of(const QHostAddress& address);
};
