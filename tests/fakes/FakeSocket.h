#pragma once

#include "platform/ISocket.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Records what is sent and lets the test raise the socket's events.
class FakeSocket : public ISocket
{
public:
    void setListener(ISocketListener* listener) override { mListener = listener; }
    void connectToHost(const QString& host, qint32 port) override;
    void sendData(const QString& text) override;
    QString getData(qint64 maxBytes) override;
    void close() override;
    QString localIP() const override { return localAddress; }

    // Events as the real socket would raise them.
    void raiseConnect();
    void raiseData(const QByteArray& bytes);
    void raiseError(int number, const QString& description);
    void raiseClose();

    bool isOpen() const { return mState == State::Connected; }

    QByteArray sent;
    QString connectedHost;
    qint32 connectedPort = 0;
    int connectRequests = 0;
    int closeCalls = 0;
    QString localAddress = QStringLiteral("192.0.2.10");
    bool failSends = false;
    // Called after each connect request, as a server that answers would be reached.
    std::function<void()> onConnectRequest;

private:
    enum class State { Closed, Connecting, Connected, Closing };
    ISocketListener* mListener = nullptr;
    State mState = State::Closed;
    QByteArray mWaiting;
    qsizetype mReadPosition = 0;
};
