#pragma once

#include "platform/router/HttpMessage.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

// The router's events for its outside connection (UPnP's GENA): the subscription, its renewal
// and its end, and the notifications that arrive at this program's callback.
namespace gena {

// What is asked for and what is read: the subscription lasts this long unless renewed.
constexpr std::chrono::seconds kAskedTimeout{1800};
constexpr qsizetype kMaxHead = 8 * 1024;
constexpr qsizetype kMaxBody = 64 * 1024;

// Where the service's events are subscribed: the event path its description gives, taken
// relative to the description's base URL, or to the description's own URL when it names no
// base. Empty when the path is empty or the result is no http URL.
QUrl eventUrl(const QByteArray& urlBase, const QByteArray& descriptionUrl, const QByteArray& eventPath);

// host is "address:port" of the router; path the service's event path.
QByteArray subscribeRequest(const QByteArray& host, const QByteArray& path, const QByteArray& callback);
QByteArray renewRequest(const QByteArray& host, const QByteArray& path, const QByteArray& sid);
QByteArray unsubscribeRequest(const QByteArray& host, const QByteArray& path, const QByteArray& sid);

struct Subscription
{
    QByteArray sid;
    std::chrono::seconds timeout{0};
};
// The router's answer to a subscription or a renewal: none unless it accepted it.
std::optional<Subscription> readAnswer(const HttpMessage& answer);

struct Notification
{
    QByteArray sid;
    // The outside address the event names, when it names one (an event about the port
    // mappings does not).
    std::optional<QString> externalAddress;
};
// A notification as it arrives at the callback: none unless it is one.
std::optional<Notification> readNotification(const HttpMessage& request);

// What the callback answers: 200 for a notification of the subscription, 412 for one of
// another, 400 for anything else.
QByteArray answer(int status);

} // namespace gena
