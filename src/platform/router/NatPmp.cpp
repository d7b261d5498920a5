#include "platform/router/NatPmp.h"

#include <QtEndian>

namespace natpmp {

namespace {

constexpr quint8 kVersion = 0;
constexpr quint8 kPcpVersion = 2;
constexpr quint8 kAddressOpcode = 0;
constexpr quint8 kAnswer = 0x80;
constexpr qsizetype kAddressAnswerSize = 12;
constexpr qsizetype kPcpHeaderSize = 24;

QString resultText(quint16 result)
{
    switch (result) {
    case 1:
        return QStringLiteral("the router does not speak this version of NAT-PMP");
    case 2:
        return QStringLiteral("the router refuses to answer (NAT-PMP is turned off on it)");
    case 3:
        return QStringLiteral("the router has no outside connection yet");
    case 4:
        return QStringLiteral("the router is out of resources");
    case 5:
        return QStringLiteral("the router does not know the request");
    default:
        return QStringLiteral("the router answered with result code %1").arg(result);
    }
}

} // namespace

QByteArray addressRequest()
{
    // Two bytes, both zero. The brace form QByteArray({0, 0}) would be QByteArray(size 0, '\0'):
    // an empty request.
    QByteArray request(2, '\0');
    request[0] = static_cast<char>(kVersion);
    request[1] = static_cast<char>(kAddressOpcode);
    return request;
}

Datagram read(QByteArrayView datagram)
{
    const auto* bytes = reinterpret_cast<const uchar*>(datagram.data());
    if (datagram.size() >= kPcpHeaderSize && bytes[0] == kPcpVersion && bytes[1] == kAnswer)
        return {Datagram::Kind::Restart, {}, 0, {}};
    if (datagram.size() < kAddressAnswerSize || bytes[0] != kVersion ||
        bytes[1] != (kAnswer | kAddressOpcode))
        return {};
    const quint16 result = qFromBigEndian<quint16>(bytes + 2);
    if (result != 0)
        return {Datagram::Kind::Refusal, {}, result, resultText(result)};
    return {Datagram::Kind::Address, QHostAddress(qFromBigEndian<quint32>(bytes + 8)), 0, {}};
}

} // namespace natpmp
