#include "platform/qt/QtSocket.h"

#include "platform/Failure.h"
#include "platform/qt/AddressText.h"

#include <QHostInfo>
#include <QTcpSocket>

#include <utility>

namespace {

const QString kSource = QStringLiteral("Socket");
// How long a closed connection may take to hand over what was written to it.
constexpr int kFlushMilliseconds = 5000;
// What may wait unread: beyond it the server waits until the conversation catches up.
constexpr qint64 kReadBufferBytes = 256 * 1024;

void finishAndDelete(QTcpSocket* socket)
{
    socket->disconnect();
    const auto end = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    if (socket->state() != QAbstractSocket::ConnectedState)
        return end();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kFlushMilliseconds, socket, end);
    socket->disconnectFromHost();
}

} // namespace

void QtSocket::systemResolver(const QString& host, QObject* context, Resolved resolved)
{
    QHostInfo::lookupHost(host, context, [resolved = std::move(resolved)](const QHostInfo& info) {
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            resolved({},
                     info.errorString().isEmpty() ? QStringLiteral("Host not found") : info.errorString());
        else
            resolved(info.addresses(), QString());
    });
}

QtSocket::QtSocket(Resolver resolver) : mResolver(std::move(resolver))
{
    mAttemptTimer.setSingleShot(true);
    connect(&mAttemptTimer, &QTimer::timeout, this, [this] {
        if (mState != State::Connecting)
            return;
        if (mAddresses.isEmpty())
            return fail(QAbstractSocket::SocketTimeoutError, QStringLiteral("Connection timed out"));
        tryNextAddress();
    });
}

QtSocket::~QtSocket()
{
    if (mSocket)
        mSocket->disconnect(this);
}

void QtSocket::connectToHost(const QString& host, qint32 port)
{
    if (mState != State::Closed)
        throw Failure(failures::kSocketNotClosed, QStringLiteral("The socket still has a connection"),
                      kSource);

    const int generation = ++mGeneration;
    mState = State::Resolving;
    if (port < 1 || port > 65535) {
        // The outcome of a connect always arrives as an event, later, a bad port included.
        QMetaObject::invokeMethod(
            this,
            [this, generation, port] {
                if (generation == mGeneration)
                    fail(failures::kSocketInvalidPort,
                         QStringLiteral("Invalid port number ") + QString::number(port));
            },
            Qt::QueuedConnection);
        return;
    }
    mPort = static_cast<quint16>(port);
    // An address is connected to as it stands: a host lookup would ask the name server for its
    // name, which waits for a name server that may not answer and tells it whom the user talks to.
    if (QHostAddress numeric; numeric.setAddress(host)) {
        QMetaObject::invokeMethod(
            this, [this, generation, numeric] { hostFound({numeric}, QString(), generation); },
            Qt::QueuedConnection);
        return;
    }
    ++mLookups;
    mResolver(host, this, [this, generation](const QList<QHostAddress>& addresses, const QString& error) {
        --mLookups;
        hostFound(addresses, error, generation);
    });
}

void QtSocket::hostFound(const QList<QHostAddress>& addresses, const QString& error, int generation)
{
    if (generation != mGeneration || mState != State::Resolving)
        return;
    if (addresses.isEmpty())
        return fail(QAbstractSocket::HostNotFoundError,
                    error.isEmpty() ? QStringLiteral("Host not found") : error);
    mAddresses = addresses;
    addressText::putIPv4First(mAddresses);
    tryNextAddress();
}

void QtSocket::tryNextAddress()
{
    mAttemptTimer.stop();
    if (QTcpSocket* tried = std::exchange(mSocket, nullptr))
        letGo(tried);
    const QHostAddress address = mAddresses.takeFirst();
    auto* socket = new QTcpSocket(this);
    socket->setReadBufferSize(kReadBufferBytes);
    connect(socket, &QTcpSocket::connected, this, &QtSocket::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &QtSocket::onReadyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &QtSocket::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &QtSocket::onDisconnected);
    mSocket = socket;
    mState = State::Connecting;
    if (!mAddresses.isEmpty())
        mAttemptTimer.start(kAttemptMs);
    socket->connectToHost(address, mPort);
}

void QtSocket::onConnected()
{
    mAttemptTimer.stop();
    mAddresses.clear();
    mState = State::Connected;
    post([](ISocketListener& listener) { listener.socketConnected(); });
}

void QtSocket::onReadyRead()
{
    if (mDataPending)
        return;
    mDataPending = true;
    post([this](ISocketListener& listener) {
        mDataPending = false;
        listener.socketDataArrival(mSocket ? mSocket->bytesAvailable() : 0);
    });
}

void QtSocket::onSocketError()
{
    if (!mSocket)
        return;
    const QAbstractSocket::SocketError error = mSocket->error();
    // The server closing its end is the Close event, which follows as the disconnect.
    if (error == QAbstractSocket::RemoteHostClosedError && mState == State::Connected)
        return;
    if (mState == State::Connecting && !mAddresses.isEmpty())
        return tryNextAddress();
    if (mState == State::Connecting || mState == State::Connected)
        fail(static_cast<int>(error), mSocket->errorString());
}

void QtSocket::onDisconnected()
{
    if (mState != State::Connected)
        return;
    mState = State::PeerClosed;
    post([](ISocketListener& listener) { listener.socketClosed(); });
}

void QtSocket::fail(int number, const QString& description)
{
    mAttemptTimer.stop();
    mAddresses.clear();
    mState = State::Failed;
    post([number, description](ISocketListener& listener) { listener.socketError(number, description); });
}

// An event goes to the listener at once, so that a reply is answered without waiting for
// the next turn of the event loop, unless the listener is still busy with an earlier one.
void QtSocket::post(std::function<void(ISocketListener&)> tell)
{
    mPending.push_back({mGeneration, std::move(tell)});
    if (!mDelivering) {
        deliverPending();
    } else if (!mDeliveryScheduled) {
        mDeliveryScheduled = true;
        QMetaObject::invokeMethod(this, &QtSocket::deliverPending, Qt::QueuedConnection);
    }
}

void QtSocket::deliverPending()
{
    mDeliveryScheduled = false;
    // The handler of an earlier event is still running (inside an error report's event
    // loop); it takes the rest when it returns.
    if (mDelivering)
        return;
    while (!mPending.empty()) {
        const Event event = std::move(mPending.front());
        mPending.pop_front();
        if (event.generation == mGeneration && mListener) {
            mDelivering = true;
            event.tell(*mListener);
            mDelivering = false;
        }
    }
    // Sockets let go while a handler ran may have had that handler inside one of their own
    // signals: only now is none of their code on the stack.
    for (QTcpSocket* socket : std::exchange(mLetGoDuringDelivery, {}))
        finishAndDelete(socket);
}

void QtSocket::sendData(const QString& text)
{
    // The server has closed its end: the Close event that follows ends the conversation, and
    // nothing more goes to a peer that is gone.
    if (mState == State::PeerClosed)
        return;
    if (mState != State::Connected || !mSocket)
        throw Failure(failures::kSocketNotConnected, QStringLiteral("The socket is not connected"), kSource);
    // Characters outside Latin-1 go out as '?'.
    const QByteArray bytes = text.toLatin1();
    if (mSocket->write(bytes) != bytes.size())
        throw Failure(static_cast<int>(mSocket->error()), mSocket->errorString(), kSource);
    // Out at once: the reply does not wait for the next turn of the event loop.
    mSocket->flush();
}

QString QtSocket::getData(qint64 maxBytes)
{
    if (!mSocket)
        throw Failure(failures::kSocketNotConnected, QStringLiteral("The socket is not connected"), kSource);
    return QString::fromLatin1(mSocket->read(maxBytes));
}

void QtSocket::close()
{
    ++mGeneration;
    mState = State::Closed;
    mAttemptTimer.stop();
    mAddresses.clear();
    mDataPending = false;
    if (QTcpSocket* socket = std::exchange(mSocket, nullptr))
        letGo(socket);
}

// Detaches a socket from the listener and lets it finish on its own: what was written is
// flushed before the connection closes, then the socket deletes itself.
void QtSocket::letGo(QTcpSocket* socket)
{
    socket->disconnect(this);
    if (mDelivering)
        mLetGoDuringDelivery.append(socket);
    else
        finishAndDelete(socket);
}

QString QtSocket::localIP() const
{
    if (!mSocket)
        return QString();
    return addressText::shown(mSocket->localAddress());
}
