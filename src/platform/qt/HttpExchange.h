#pragma once

#include "platform/router/HttpMessage.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

// One HTTP request to a server on the local network and its answer, read within sizes and a
// time: the subscriptions to the router's events. The answer is none when the server could not
// be reached, did not answer in time or answered something that is no HTTP message.
class HttpExchange : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 5000;
    using Done = std::function<void(const std::optional<HttpMessage>& answer)>;

    // done may not delete the exchange at once (deleteLater does).
    HttpExchange(const QUrl& server, const QByteArray& request, Done done, QObject* parent = nullptr);
    ~HttpExchange() override;

    // Sends the request with no one waiting for the answer, and goes once it is answered or its
    // time is up. It lives under the application, so that a program that ends first frees it.
    static void sendAndForget(const QUrl& server, const QByteArray& request);

private:
    void read();
    void finish(const std::optional<HttpMessage>& answer);

    QByteArray mRequest;
    Done mDone;
    QTcpSocket mSocket;
    QTimer mTimeLimit;
    QByteArray mReceived;
};
