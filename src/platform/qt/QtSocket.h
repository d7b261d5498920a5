#pragma once

#include "platform/ISocket.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

class QTcpSocket;

// The TCP client socket over QTcpSocket.
//
// Each connection gets a QTcpSocket of its own, so a closed connection can still flush what
// was written to it while a new one starts. Events reach the listener one at a time: an event
// that comes while the listener still handles the last one (an error report open in it, say)
// waits until that handler has returned, and a QTcpSocket let go meanwhile is deleted only
// after it. After close() returns, nothing of the old connection reaches the listener.
class QtSocket : public QObject, public ISocket
{
    Q_OBJECT
public:
    // How long one address of a server with several may take to answer before the next is
    // tried.
    static constexpr int kAttemptMs = 10000;

    // Looks a host name up and calls back, later, with its addresses or an error text.
    using Resolved = std::function<void(const QList<QHostAddress>& addresses, const QString& error)>;
    using Resolver = std::function<void(const QString& host, QObject* context, Resolved resolved)>;
    static void systemResolver(const QString& host, QObject* context, Resolved resolved);

    explicit QtSocket(Resolver resolver = systemResolver);
    ~QtSocket() override;

    void setListener(ISocketListener* listener) override { mListener = listener; }
    void connectToHost(const QString& host, qint32 port) override;
    void sendData(const QString& text) override;
    QString getData(qint64 maxBytes) override;
    void close() override;
    QString localIP() const override;

    // A name lookup has not answered yet. It runs on in a thread of its own, which the end of
    // the program would wait for.
    bool lookupRunning() const { return mLookups > 0; }

private:
    enum class State { Closed, Resolving, Connecting, Connected, PeerClosed, Failed };
    // What the listener is told, for the connection it was posted for.
    struct Event
    {
        int generation;
        std::function<void(ISocketListener&)> tell;
    };

    void hostFound(const QList<QHostAddress>& addresses, const QString& error, int generation);
    void tryNextAddress();
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    void fail(int number, const QString& description);
    void post(std::function<void(ISocketListener&)> tell);
    void deliverPending();
    void letGo(QTcpSocket* socket);

    Resolver mResolver;
    ISocketListener* mListener = nullptr;
    QTcpSocket* mSocket = nullptr;
    State mState = State::Closed;
    int mGeneration = 0;
    QList<QHostAddress> mAddresses; // still to be tried
    quint16 mPort = 0;
    QTimer mAttemptTimer;
    std::deque<Event> mPending;
    QList<QTcpSocket*> mLetGoDuringDelivery;
    int mLookups = 0; // asked for and not answered
    bool mDeliveryScheduled = false;
    bool mDelivering = false;
    bool mDataPending = false;
};
