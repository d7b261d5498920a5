#pragma once

#include <QString>

#include <functional>

// The router this machine reaches the Internet through (the default gateway), asked on the
// local network only, for the address the world sees it by.
class IRouter
{
public:
    struct Answer
    {
        QString gateway;  // the router asked; empty when there is no default gateway
        QString address;  // its outside address as it said it; empty when it said none
        QString protocol; // "NAT-PMP" or "UPnP", the one that answered
        QString why;      // with no address: no gateway, no answer, or what the router said
    };

    virtual ~IRouter() = default;

    // Asks the default gateway for its outside address, with NAT-PMP and then UPnP IGD, and
    // answers later through done. Only the gateway's own answer counts. A later call supersedes
    // one that has not answered yet.
    virtual void askOutsideAddress(std::function<void(const Answer&)> done) = 0;

    // Hears the gateway say that its outside address may have changed (a NAT-PMP announcement,
    // a UPnP event, a restart) and calls mayHaveChanged, coalesced. What it heard is only a
    // reason to ask again: nothing heard is taken as an address. An empty handler stops it.
    virtual void listen(std::function<void()> mayHaveChanged) = 0;
};
