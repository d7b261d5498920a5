#include "platform/qt/NatPmpAnnouncements.h"

#include "platform/router/NatPmp.h"

#include <QNetworkDatagram>

NatPmpAnnouncements::NatPmpAnnouncements(const QHostAddress& gateway, const QString& device,
                                         std::function<void()> heard, QObject* parent)
    : QObject(parent), mGateway(gateway), mHeard(std::move(heard))
{
    const QHostAddress group(QLatin1String(natpmp::kAnnounceGroup));
    // Bound to the group's address, the socket gets what is sent to the group and no datagram
    // sent to this machine's own addresses. Other programs may listen as well.
    if (!mSocket.bind(group, natpmp::kAnnouncePort,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        mProblem = mSocket.errorString();
        return;
    }
    // Every host belongs to the all-hosts group on each of its devices, so a join the kernel
    // refuses costs nothing; it is made for the device that faces the gateway all the same.
    const QNetworkInterface facing = QNetworkInterface::interfaceFromName(device);
    if (facing.isValid())
        mSocket.joinMulticastGroup(group, facing);
    connect(&mSocket, &QUdpSocket::readyRead, this, &NatPmpAnnouncements::read);
}

void NatPmpAnnouncements::read()
{
    bool heard = false;
    while (mSocket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = mSocket.receiveDatagram(64);
        if (datagram.senderAddress() != mGateway || datagram.senderPort() != natpmp::kRouterPort)
            continue;
        const natpmp::Datagram read = natpmp::read(datagram.data());
        heard = heard || read.kind == natpmp::Datagram::Kind::Address ||
                read.kind == natpmp::Datagram::Kind::Restart;
    }
    if (heard)
        mHeard();
}
