#pragma once

#include <QHostAddress>
#include <QNetworkInterface>
#include <QObject>
#include <QUdpSocket>

#include <functional>

// The announcements a NAT-PMP gateway multicasts to the hosts of its network when its outside
// address changes or it restarts (an address announcement, a PCP ANNOUNCE). Only those from the
// gateway count; anyone on the network can multicast to the group. What is heard is a reason to
// ask again, nothing more: the address in it is not taken.
class NatPmpAnnouncements : public QObject
{
    Q_OBJECT
public:
    // heard is called for each announcement from the gateway. The group is joined on the
    // device named, the one that faces the gateway.
    NatPmpAnnouncements(const QHostAddress& gateway, const QString& device, std::function<void()> heard,
                        QObject* parent = nullptr);

    // Why nothing can be heard (the port taken, the group not joined), or empty.
    QString problem() const { return mProblem; }

private:
    void read();

    QHostAddress mGateway;
    std::function<void()> mHeard;
    QUdpSocket mSocket;
    QString mProblem;
};
