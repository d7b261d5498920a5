#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// A server on the loopback that sends the given bytes to whoever connects, then hangs up.
struct OneShotServer
{
    explicit OneShotServer(QByteArray bytes, const QHostAddress& address = QHostAddress::LocalHost)
    {
        QVERIFY(server.listen(address, 0));
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, bytes] {
            QTcpSocket* peer = server.nextPendingConnection();
            peer->write(bytes);
            peer->disconnectFromHost();
        });
    }
    QTcpServer server;
};
