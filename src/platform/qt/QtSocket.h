#pragma once

#include "platform/ISocket.h"

#include <QObject>
#include <QPointer>

class QHostInfo;
class QTcpSocket;

// The TCP client socket over QTcpSocket. Each connection gets a socket of its own, so a
// closed connection can still flush what was written to it while a new one starts; after
// close() returns, nothing of the old connection reaches the listener.
class QtSocket : public QObject, public ISocket
{
    Q_OBJECT
public:
    QtSocket();
    ~QtSocket() override;

    void setListener(ISocketListener* listener) override { mListener = listener; }
    void connectToHost(const QString& host, qint32 port) override;
    void sendData(const QString& text) override;
    QString getData(qint64 maxBytes) override;
    void close() override;
    QString localIP() const override;

private:
    enum class State { Closed, Resolving, Connecting, Connected, Closing, Error };

    void hostFound(const QHostInfo& info, quint16 port, int generation);
    void attach(QTcpSocket* socket);
    void deliverError(int number, const QString& description);
    void onSocketError();
    void onDisconnected();
    static void letGo(QTcpSocket* socket);

    ISocketListener* mListener = nullptr;
    QTcpSocket* mSocket = nullptr;
    State mState = State::Closed;
    int mGeneration = 0;
};
