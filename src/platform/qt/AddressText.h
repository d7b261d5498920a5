#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// How the programs show and order a server's or this machine's addresses.
namespace addressText {

// An IPv4 address, IPv4-mapped ones included, as dotted decimal; any other as Qt writes it.
QString shown(const QHostAddress& address);

// The IPv4 addresses first, so that the posted address is dotted decimal where it can be; each
// group keeps its order.
void putIPv4First(QList<QHostAddress>& addresses);

} // namespace addressText
