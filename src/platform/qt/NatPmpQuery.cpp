#include "platform/qt/NatPmpQuery.h"

#include <QNetworkDatagram>

NatPmpQuery::NatPmpQuery(const QHostAddress& gateway, Done done, QObject* parent)
    : QObject(parent), mGateway(gateway), mDone(std::move(done))
{
    mPause.setSingleShot(true);
    connect(&mPause, &QTimer::timeout, this, &NatPmpQuery::send);
    connect(&mSocket, &QUdpSocket::readyRead, this, &NatPmpQuery::read);
    if (!mSocket.bind(QHostAddress::AnyIPv4, 0)) {
        // Answered later, like every other outcome: the caller is not called back from inside.
        QTimer::singleShot(0, this, [this] { finish({}, {}); });
        return;
    }
    send();
}

void NatPmpQuery::send()
{
    if (mPauses == natpmp::kPauses.size()) {
        finish({}, {});
        return;
    }
    mSocket.writeDatagram(natpmp::addressRequest(), mGateway, natpmp::kRouterPort);
    mPause.start(natpmp::kPauses.at(mPauses++));
}

void NatPmpQuery::read()
{
    while (mSocket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = mSocket.receiveDatagram(64);
        if (datagram.senderAddress() != mGateway || datagram.senderPort() != natpmp::kRouterPort)
            continue;
        const natpmp::Datagram read = natpmp::read(datagram.data());
        if (read.kind == natpmp::Datagram::Kind::Address) {
            finish(read.address, {});
            return;
        }
        if (read.kind == natpmp::Datagram::Kind::Refusal) {
            finish({}, read.why);
            return;
        }
    }
}

void NatPmpQuery::finish(const QHostAddress& address, const QString& why)
{
    mPause.stop();
    mSocket.close();
    if (Done done = std::exchange(mDone, nullptr))
        done(address, why);
}
