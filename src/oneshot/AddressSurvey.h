#pragma once

#include "address/AddressChoice.h"
#include "address/AddressFinder.h"
#include "address/AddressFrom.h"

#include <QString>

#include <functional>

// Asks every source of "Current IP" what it says now, not only those the choice needs, so the
// user sees them side by side: the connection's address, the router's, and the lookup
// service's when a URL is set (never a lookup service by default). The router is left alone
// when the choice is the connection's address, and, unless the choice is the router alone,
// when the server is reached over the loopback or the link (a server on this machine or its
// own link, where a router says nothing that counts).
class AddressSurvey
{
public:
    // The sources the finder asks.
    using Services = AddressFinder::Services;

    explicit AddressSurvey(const Services& services) : mServices(services) {}

    // Answers through done, never from inside the call unless every source answers at once.
    void survey(const AddressFrom& from, const QString& server, quint16 port,
                std::function<void(const AddressChoice::Readings&)> done);

    // Whether the router is asked, given the choice and the connection's address.
    static bool asksRouter(const AddressFrom& from, const QString& connection);

private:
    void askRouter();
    void askLookup();
    void answer();

    Services mServices;
    AddressFrom mFrom;
    AddressChoice::Readings mReadings;
    std::function<void(const AddressChoice::Readings&)> mDone;
};
