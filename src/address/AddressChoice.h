#pragma once

#include "address/AddressFrom.h"
#include "address/LookupReply.h"
#include "platform/IRouter.h"

#include <QString>

#include <optional>

// Which address "Current IP" posts, from what the sources said. The connection's own address
// comes first; behind a router (a private address) the router's outside address, then a lookup
// service's answer. When neither gives a public address, the connection's is posted with the
// reason, unless a lookup service is set: then nothing is. A router that has given a public
// address on this network is waited for rather than replaced by the private address while its
// outside link renews.
struct AddressChoice
{
    // What the sources said, as far as they were asked.
    struct Readings
    {
        QString connection;        // the local address toward the server
        QString connectionProblem; // why there is none
        std::optional<IRouter::Answer> router;
        std::optional<LookupReply> lookup;
        // The gateway that has given a public outside address before, if any.
        QString routerWasPublicAt;
        // The lookup service has given an address on this network (for this connection).
        bool lookupGaveAddress = false;
    };
    enum class Ask { Nothing, Router, Lookup };

    QString address;             // the address to post; empty: nothing is posted
    bool fromConnection = false; // the connection's own: it must go out from there
    QString source;              // "the connection", "the router (NAT-PMP)", "the lookup service"
    QString problem;             // with no address: why
    QString fallback;            // with the connection's private address: why no public one
    // Set when inbound connections cannot reach this machine through the name: the router's
    // outside address is not public, or the lookup sees another one (carrier-grade or double NAT).
    QString unreachable;

    // Whether the request must carry the address rather than let the conversation post the
    // address its connection goes out from: any but the connection's own, and the connection's
    // own over IPv6, which is the interface's stable address while the connection may go out
    // from a temporary (privacy) address beside it.
    bool named() const;

    // The source to ask next, given what the others said; Nothing once the choice can be made.
    static Ask next(const AddressFrom& from, const Readings& readings);
    static AddressChoice of(const AddressFrom& from, const Readings& readings);
    // Whether the router's answer is a public address (none when it gave no address).
    static bool publicAnswer(const IRouter::Answer& answer);
};
