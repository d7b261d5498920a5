#pragma once

#include <QString>

#include <functional>

// What the watcher needs to know about this machine's addresses, without sending anything.
class IAddressWatch
{
public:
    virtual ~IAddressWatch() = default;

    // The local address this machine would use to reach the server at the port, found by the
    // system's routing (a connected UDP socket sends nothing and tells its source address); a
    // name is looked up first, IPv4 preferred. For an IPv6 source, the stable address of its
    // interface rather than a temporary (privacy) one. The answer comes later, through done: the
    // address as text, or empty with the reason in problem. A later call supersedes an earlier
    // one that has not answered yet.
    virtual void
    findLocalAddress(const QString& server, quint16 port,
                     std::function<void(const QString& address, const QString& problem)> done) = 0;

    // Whether an interface of this machine holds the address now.
    virtual bool holdsAddress(const QString& address) const = 0;

    // Called, coalesced, when the system announces that an address or a route changed (and, as
    // a fallback, every few seconds), so the address is looked for again.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};
