#pragma once

#include <QString>

// Receives the socket's events, always on the user-interface thread.
class ISocketListener
{
public:
    virtual ~ISocketListener() = default;
    virtual void socketConnected() = 0;
    virtual void socketDataArrival(qint64 bytesTotal) = 0;
    virtual void socketError(int number, const QString& description) = 0;
    virtual void socketClosed() = 0;
};

// A TCP client socket. Text goes both ways one byte per character (Latin-1).
class ISocket
{
public:
    virtual ~ISocket() = default;

    virtual void setListener(ISocketListener* listener) = 0;
    // Returns at once; Connect or Error follows. Throws Failure unless the socket is closed.
    virtual void connectToHost(const QString& host, qint32 port) = 0;
    // Throws Failure when there is no open connection.
    virtual void sendData(const QString& text) = 0;
    // Received text not yet read, at most maxBytes of it; empty when nothing waits.
    virtual QString getData(qint64 maxBytes) = 0;
    // Closes the connection; no event is delivered after it returns.
    virtual void close() = 0;
    // The local end's address as dotted decimal.
    virtual QString localIP() const = 0;
};
