#include "platform/qt/AddressText.h"

#include <algorithm>

namespace addressText {

QString shown(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    return address.toString();
}

void putIPv4First(QList<QHostAddress>& addresses)
{
    std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress& address) {
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    });
}

} // namespace addressText
