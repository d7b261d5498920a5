#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>

// The IPv4 default route the kernel takes, read from its route table as /proc/net/route shows
// it: the router this machine reaches the Internet through, and the device that faces it.
struct DefaultRoute
{
    QHostAddress gateway;
    QString device;
    quint32 metric = 0;

    // Of the default routes that are up, the one with the lowest metric (the first of equals,
    // as the kernel takes it). None when there is none, or when that one goes through a device
    // with no gateway on it (a point-to-point link): then there is no router to ask.
    static std::optional<DefaultRoute> in(const QByteArray& routeTable);
};
