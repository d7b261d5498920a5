#pragma once

#include "platform/router/NatPmp.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <functional>

// One NAT-PMP question to the gateway for its outside address: the request, sent again after
// each pause while no answer has come, and the gateway's first answer. Only a datagram from the
// gateway's NAT-PMP port is read: anyone on the network could send one to our port.
class NatPmpQuery : public QObject
{
    Q_OBJECT
public:
    // The router's answer, a refusal (an answer with a result code), or nothing (the router does
    // not speak NAT-PMP): address and why both empty.
    using Done = std::function<void(const QHostAddress& address, const QString& why)>;

    NatPmpQuery(const QHostAddress& gateway, Done done, QObject* parent = nullptr);

private:
    void send();
    void read();
    void finish(const QHostAddress& address, const QString& why);

    QHostAddress mGateway;
    Done mDone;
    QUdpSocket mSocket;
    QTimer mPause;
    size_t mPauses = 0;
};
