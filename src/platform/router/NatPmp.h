#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QString>

#include <array>
#include <chrono>

// The few datagrams of NAT-PMP that ask a router for its outside address and that it sends when
// that address changes, and the PCP announcement that says the router has restarted.
namespace natpmp {

constexpr quint16 kRouterPort = 5351;
constexpr quint16 kAnnouncePort = 5350;
constexpr const char* kAnnounceGroup = "224.0.0.1";
// The request is sent again after each pause but the last while no answer has come; after the
// last, the router does not speak NAT-PMP: under 2 s in all.
constexpr std::array<std::chrono::milliseconds, 3> kPauses = {
    std::chrono::milliseconds(250), std::chrono::milliseconds(500), std::chrono::milliseconds(1000)};

// The request for the outside address.
QByteArray addressRequest();

struct Datagram
{
    enum class Kind {
        Address,  // the router's outside address, in an answer or an announcement
        Refusal,  // an answer with a result code other than success
        Restart,  // a PCP announcement: the router restarted, ask it again
        Unrelated // anything else; ignored
    };
    Kind kind = Kind::Unrelated;
    QHostAddress address; // with Address
    quint16 result = 0;   // with Refusal
    QString why;          // with Refusal: the result code in words
};

// A datagram from the router, to the request or to the announcement group.
Datagram read(QByteArrayView datagram);

} // namespace natpmp
