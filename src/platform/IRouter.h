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
        QString address;  // its outside address as it said it, not judged; empty when it said none
        QString protocol; // "NAT-PMP" or "UPnP", the one that answered (a refusal is an answer)
        QString why;      // with no address: no gateway, no answer, or what the router said
    };

    virtual ~IRouter() = default;

    // Asks the default gateway for its outside address, with NAT-PMP and then UPnP IGD, and
    // answers later through done (never from inside the call). Only the gateway's own answer
    // counts. A later call supersedes one that has not answered yet: its done is never called.
    // Each call reads the routes again: when they name another gateway, listening moves to it.
    virtual void askOutsideAddress(std::function<void(const Answer&)> done) = 0;

    // Hears the gateway say that its outside address may have changed (a NAT-PMP announcement,
    // a UPnP event naming another address, a restart) and calls mayHaveChanged, coalesced. What
    // it heard is only a reason to ask again: nothing heard is taken as an address. The UPnP
    // events are subscribed once a question has been answered by the gateway's UPnP device.
    // An empty handler stops it.
    virtual void listen(std::function<void()> mayHaveChanged) = 0;
};
