#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrl>

// One question to the gateway's UPnP Internet gateway device, with miniupnpc: discovery on the
// local network, the device's description, and its outside address. The calls block for
// seconds: run it off the event loop.
namespace upnpQuery {

constexpr int kDiscoveryMs = 2000;

struct Answer
{
    bool found = false; // a gateway device at the gateway's address answered its description
    QString address;    // the outside address as it said it; empty when it said none
    QString why;        // with no address: what went wrong
    QUrl eventUrl;      // where its connection service's events are subscribed, when it says
    // Where the device is asked again without a discovery.
    QByteArray controlUrl;
    QByteArray serviceType;
};

// Only a device whose description and control URL are at the gateway's address counts: any
// machine on the network can answer a discovery. local is this machine's address that faces
// the gateway; discovery goes out there.
Answer ask(const QHostAddress& gateway, const QHostAddress& local, int discoveryMs = kDiscoveryMs);

// The outside address of a device found before: one request, no discovery. found is false when
// it did not answer.
Answer askAgain(const QByteArray& controlUrl, const QByteArray& serviceType);

} // namespace upnpQuery
