#include "platform/qt/HttpExchange.h"

#include "platform/router/Gena.h"

#include <QCoreApplication>

HttpExchange::HttpExchange(const QUrl& server, const QByteArray& request, Done done, QObject* parent)
    : QObject(parent), mRequest(request), mDone(std::move(done))
{
    mTimeLimit.setSingleShot(true);
    connect(&mTimeLimit, &QTimer::timeout, this, [this] { finish(std::nullopt); });
    connect(&mSocket, &QTcpSocket::connected, this, [this] { mSocket.write(mRequest); });
    connect(&mSocket, &QTcpSocket::readyRead, this, &HttpExchange::read);
    // A server that closes before its answer is whole gave none.
    connect(&mSocket, &QTcpSocket::disconnected, this, [this] {
        read();
        finish(std::nullopt);
    });
    connect(&mSocket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            finish(std::nullopt);
    });
    mTimeLimit.start(kTimeLimitMs);
    mSocket.connectToHost(server.host(), static_cast<quint16>(server.port(80)));
}

HttpExchange::~HttpExchange()
{
    // The socket outlives the members its handlers read, and closing it would call them.
    mSocket.disconnect(this);
    mSocket.abort();
}

void HttpExchange::sendAndForget(const QUrl& server, const QByteArray& request)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    auto* exchange = new HttpExchange(server, request, nullptr, application);
    exchange->mDone = [exchange](const std::optional<HttpMessage>&) { exchange->deleteLater(); };
}

void HttpExchange::read()
{
    if (!mDone)
        return;
    if (mSocket.isOpen())
        mReceived += mSocket.readAll();
    const HttpReading reading = HttpMessage::read(mReceived, gena::kMaxHead, gena::kMaxBody);
    if (reading.state == HttpReading::State::Complete)
        finish(reading.message);
    else if (reading.state == HttpReading::State::Invalid)
        finish(std::nullopt);
}

void HttpExchange::finish(const std::optional<HttpMessage>& answer)
{
    mTimeLimit.stop();
    mSocket.abort();
    if (Done done = std::exchange(mDone, nullptr))
        done(answer);
}
