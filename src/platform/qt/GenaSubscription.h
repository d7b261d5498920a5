#pragma once

#include "platform/router/HttpMessage.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class HttpExchange;

// A subscription to the events of the router's connection service, kept alive: renewed at
// three quarters of the time the router granted, made anew when a renewal fails or the router
// has forgotten it (412), tried again after a pause when the router does not take it, and
// cancelled when it ends.
class GenaSubscription : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRetryMs = 30 * 1000;

    // subscribed is called each time the router grants a subscription (a new SID).
    GenaSubscription(const QUrl& eventUrl, const QByteArray& callbackUrl, std::function<void()> subscribed,
                     QObject* parent = nullptr);
    ~GenaSubscription() override;

    const QUrl& eventUrl() const { return mEventUrl; }
    // The subscription's id as the router gave it; empty while it has none.
    const QByteArray& sid() const { return mSid; }
    // A subscription has been asked for and its answer has not come yet: its first event may
    // arrive before the answer does.
    bool subscribing() const { return mSubscribing; }

private:
    void subscribe();
    void renew();
    void answered(bool renewal, const std::optional<HttpMessage>& answer);
    void exchange(const QByteArray& request, bool renewal);

    QUrl mEventUrl;
    QByteArray mCallbackUrl;
    std::function<void()> mSubscribed;
    QByteArray mSid;
    bool mSubscribing = false;
    QTimer mNext;
    QPointer<HttpExchange> mExchange;
};
