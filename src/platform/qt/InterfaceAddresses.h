#pragma once

#include "platform/StableAddress.h"

#include <QHostAddress>
#include <QList>

// The IPv6 addresses of the interface that holds an address, with the flags and lifetimes the
// kernel keeps for each (a route netlink dump of its addresses): Qt's interface list tells
// neither tentative nor failed addresses apart.
namespace interfaceAddresses {

// Empty when no interface holds the address or the kernel could not be asked.
QList<StableAddress::Candidate> beside(const QHostAddress& address);

} // namespace interfaceAddresses
