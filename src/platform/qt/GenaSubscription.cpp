#include "platform/qt/GenaSubscription.h"

#include "platform/qt/HttpExchange.h"
#include "platform/router/Gena.h"

#include <chrono>

namespace {

QByteArray hostOf(const QUrl& url)
{
    return url.host(QUrl::FullyEncoded).toLatin1() + ':' + QByteArray::number(url.port(80));
}

QByteArray pathOf(const QUrl& url)
{
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (url.hasQuery())
        path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return path;
}

} // namespace

GenaSubscription::GenaSubscription(const QUrl& eventUrl, const QByteArray& callbackUrl,
                                   std::function<void()> subscribed, QObject* parent)
    : QObject(parent), mEventUrl(eventUrl), mCallbackUrl(callbackUrl), mSubscribed(std::move(subscribed))
{
    mNext.setSingleShot(true);
    connect(&mNext, &QTimer::timeout, this, [this] { mSid.isEmpty() ? subscribe() : renew(); });
    subscribe();
}

GenaSubscription::~GenaSubscription()
{
    if (!mSid.isEmpty())
        HttpExchange::sendAndForget(mEventUrl,
                                    gena::unsubscribeRequest(hostOf(mEventUrl), pathOf(mEventUrl), mSid));
}

void GenaSubscription::subscribe()
{
    mSid.clear();
    mSubscribing = true;
    exchange(gena::subscribeRequest(hostOf(mEventUrl), pathOf(mEventUrl), mCallbackUrl), false);
}

void GenaSubscription::renew()
{
    exchange(gena::renewRequest(hostOf(mEventUrl), pathOf(mEventUrl), mSid), true);
}

void GenaSubscription::exchange(const QByteArray& request, bool renewal)
{
    if (mExchange)
        mExchange->deleteLater();
    mExchange = new HttpExchange(
        mEventUrl, request,
        [this, renewal](const std::optional<HttpMessage>& answer) {
            mExchange->deleteLater();
            answered(renewal, answer);
        },
        this);
}

void GenaSubscription::answered(bool renewal, const std::optional<HttpMessage>& answer)
{
    const std::optional<gena::Subscription> granted = answer ? gena::readAnswer(*answer) : std::nullopt;
    if (!granted) {
        // A renewal the router refused or did not answer: it may have restarted and forgotten
        // us; a new subscription says. A new one that failed is tried again later.
        if (renewal) {
            subscribe();
            return;
        }
        mSubscribing = false;
        mNext.start(kRetryMs);
        return;
    }
    const bool fresh = !renewal || granted->sid != mSid;
    mSid = granted->sid;
    mSubscribing = false;
    mNext.start(std::chrono::duration_cast<std::chrono::milliseconds>(granted->timeout) * 3 / 4);
    if (fresh && mSubscribed)
        mSubscribed();
}
