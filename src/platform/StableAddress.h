#pragma once

#include <QHostAddress>
#include <QList>

#include <optional>

// The address to post for the source address the kernel chose toward the server. With IPv6
// privacy addresses on, the kernel prefers a temporary address as the source, which it
// retires within a day and replaces by another: posted, the name would stop working and every
// renewal would look like a new address. The interface's stable address reaches the same
// network and stays, so that is the one posted.
struct StableAddress
{
    // One address of the source's interface, with what the kernel says of it.
    struct Candidate
    {
        QHostAddress address;
        bool temporary = false;  // a privacy address
        bool deprecated = false; // its preferred lifetime is over: it is on its way out
        bool tentative = false;  // duplicate address detection has not passed yet
        bool dadFailed = false;  // another machine on the link holds it
        // Seconds it stays valid; none: forever.
        std::optional<quint32> validSeconds;
    };

    // The stable global address of the source's interface: of the addresses on it of the
    // source's kind (global, or unique local), one that is neither temporary, deprecated,
    // tentative nor failed, the longest valid (the source itself among equals, else the lowest).
    // The source as given when it is not an IPv6 address of that kind (IPv4, loopback,
    // link-local) or when the interface has no stable one.
    static QHostAddress of(const QHostAddress& source, const QList<Candidate>& interfaceAddresses);
};
