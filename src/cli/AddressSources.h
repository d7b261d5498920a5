#pragma once

#include "address/AddressFinder.h"
#include "app/UserFolders.h"
#include "platform/files/LookupHoldFile.h"
#include "platform/qt/QtAddressLookup.h"
#include "platform/qt/QtAddressWatch.h"
#include "platform/qt/QtRouter.h"

// Where "Current IP" comes from on this machine: the connection's own address, the router's,
// a lookup service's, and the finder that chooses among them.
struct AddressSources
{
    explicit AddressSources(const IClock& clock) : finder({addresses, router, lookup, clock, &hold}) {}

    QtAddressWatch addresses;
    QtRouter router;
    QtAddressLookup lookup;
    LookupHoldFile hold{UserFolders::stateFile(QStringLiteral("lookup-hold"))};
    AddressFinder finder;
};
