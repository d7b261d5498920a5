#include "platform/qt/QtSocket.h"

#include "platform/Failure.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QString kSource = QStringLiteral("Socket");
// How long a closed connection may take to hand over what was written to it.
constexpr int kFlushMilliseconds = 5000;
constexpr int kErrorHostNotFound = QAbstractSocket::HostNotFoundError;
constexpr int kErrorInvalidPort = 10000;
constexpr int kErrorNotClosed = 10001;
constexpr int kErrorNotConnected = 10002;

QString dottedDecimal(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    return address.toString();
}

} // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket()
{
    if (mSocket)
        mSocket->disconnect(this);
}

void QtSocket::connectToHost(const QString& host, qint32 port)
{
    if (mState != State::Closed)
        throw Failure(kErrorNotClosed, QStringLiteral("The socket still has a connection"), kSource);

    const int generation = ++mGeneration;
    if (port < 1 || port > 65535) {
        // The outcome of a connect always arrives as an event, a bad port included.
        mState = State::Error;
        QTimer::singleShot(0, this, [this, generation, port] {
            if (generation == mGeneration)
                deliverError(kErrorInvalidPort,
                             QStringLiteral("Invalid port number ") + QString::number(port));
        });
        return;
    }
    mState = State::Resolving;
    QHostInfo::lookupHost(host, this, [this, port, generation](const QHostInfo& info) {
        hostFound(info, static_cast<quint16>(port), generation);
    });
}

void QtSocket::hostFound(const QHostInfo& info, quint16 port, int generation)
{
    if (generation != mGeneration || mState != State::Resolving)
        return;
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        mState = State::Error;
        deliverError(kErrorHostNotFound,
                     info.errorString().isEmpty() ? QStringLiteral("Host not found") : info.errorString());
        return;
    }
    // A name with an IPv4 address is reached over IPv4, so the posted address is dotted decimal.
    QHostAddress target = addresses.first();
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            target = address;
            break;
        }
    }
    auto* socket = new QTcpSocket(this);
    attach(socket);
    mState = State::Connecting;
    socket->connectToHost(target, port);
}

void QtSocket::attach(QTcpSocket* socket)
{
    mSocket = socket;
    connect(socket, &QTcpSocket::connected, this, [this] {
        mState = State::Connected;
        if (mListener)
            mListener->socketConnected();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (mListener && mSocket)
            mListener->socketDataArrival(mSocket->bytesAvailable());
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &QtSocket::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &QtSocket::onDisconnected);
}

void QtSocket::onSocketError()
{
    if (!mSocket)
        return;
    // The server closing its end is the Close event, which follows as the disconnect.
    if (mSocket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    mState = State::Error;
    deliverError(static_cast<int>(mSocket->error()), mSocket->errorString());
}

void QtSocket::onDisconnected()
{
    if (mState != State::Connected)
        return;
    mState = State::Closing;
    if (mListener)
        mListener->socketClosed();
}

void QtSocket::deliverError(int number, const QString& description)
{
    if (mListener)
        mListener->socketError(number, description);
}

void QtSocket::sendData(const QString& text)
{
    if (mState != State::Connected || !mSocket)
        throw Failure(kErrorNotConnected, QStringLiteral("The socket is not connected"), kSource);
    // Characters outside Latin-1 go out as '?'.
    const QByteArray bytes = text.toLatin1();
    if (mSocket->write(bytes) != bytes.size())
        throw Failure(static_cast<int>(mSocket->error()), mSocket->errorString(), kSource);
}

QString QtSocket::getData(qint64 maxBytes)
{
    if (!mSocket)
        throw Failure(kErrorNotConnected, QStringLiteral("The socket is not connected"), kSource);
    return QString::fromLatin1(mSocket->read(maxBytes));
}

void QtSocket::close()
{
    ++mGeneration;
    mState = State::Closed;
    QTcpSocket* socket = mSocket;
    mSocket = nullptr;
    if (socket)
        letGo(socket);
}

// Detaches a socket from the listener and lets it finish on its own: what was written is
// flushed before the connection closes, then the socket deletes itself.
void QtSocket::letGo(QTcpSocket* socket)
{
    socket->disconnect();
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kFlushMilliseconds, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

QString QtSocket::localIP() const
{
    if (!mSocket)
        return QString();
    return dottedDecimal(mSocket->localAddress());
}
