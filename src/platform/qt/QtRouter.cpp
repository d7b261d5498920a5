#include "platform/qt/QtRouter.h"

#include "platform/qt/GenaCallback.h"
#include "platform/qt/GenaSubscription.h"
#include "platform/qt/NatPmpAnnouncements.h"
#include "platform/qt/NatPmpQuery.h"
#include "platform/qt/UpnpQuery.h"
#include "platform/router/DefaultRoute.h"
#include "platform/router/NatPmp.h"

#include <QFile>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kNatPmp = QStringLiteral("NAT-PMP");
const QString kUpnp = QStringLiteral("UPnP");

// The address a datagram to the gateway would leave from: connecting a UDP socket makes the
// kernel choose it, and sends nothing.
QHostAddress localAddressFacing(const QHostAddress& gateway)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(natpmp::kRouterPort);
    to.sin_addr.s_addr = htonl(gateway.toIPv4Address());
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_in from = {};
    socklen_t fromLength = sizeof from;
    QHostAddress local;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&from), &fromLength) == 0)
        local = QHostAddress(ntohl(from.sin_addr.s_addr));
    ::close(fd);
    return local;
}

} // namespace

QtRouter::QtRouter(QObject* parent) : QObject(parent), mUpnp(this)
{
    mCoalesce.setSingleShot(true);
    mCoalesce.setInterval(kCoalesceMs);
    connect(&mCoalesce, &QTimer::timeout, this, [this] {
        if (mMayHaveChanged)
            mMayHaveChanged();
    });
}

QtRouter::~QtRouter()
{
    mUpnp.end();
    delete mNatPmp;
}

std::optional<QtRouter::Gateway> QtRouter::currentGateway()
{
    QFile table(QStringLiteral("/proc/net/route"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<DefaultRoute> route = DefaultRoute::in(table.readAll());
    if (!route)
        return std::nullopt;
    return Gateway{route->gateway, route->device, localAddressFacing(route->gateway)};
}

void QtRouter::askOutsideAddress(std::function<void(const Answer&)> done)
{
    const quint64 call = ++mCall;
    mDone = std::move(done);
    if (mNatPmp)
        mNatPmp->deleteLater(); // it may be the one calling
    mNatPmp = nullptr;
    mNatPmpRefusal.clear();
    mUpnpFailed = false;

    mAsked = currentGateway();
    follow(mAsked);
    if (!mAsked) {
        QTimer::singleShot(0, this, [this, call] {
            answer(call, {QString(), QString(), QString(), QStringLiteral("no default gateway")});
        });
        return;
    }
    if (mNatPmpSilentAt == mAsked->address && mNatPmpSilentSince.isValid() &&
        mNatPmpSilentSince.elapsed() < kNatPmpSilenceMs) {
        mNatPmpSkipped = true;
        return askUpnp(call);
    }
    askNatPmp(call);
}

void QtRouter::askNatPmp(quint64 call)
{
    mNatPmpSkipped = false;
    mNatPmp = new NatPmpQuery(
        mAsked->address,
        [this, call](const QHostAddress& address, const QString& why) { natPmpAnswered(call, address, why); },
        this);
}

void QtRouter::natPmpAnswered(quint64 call, const QHostAddress& address, const QString& why)
{
    if (call != mCall)
        return;
    if (!address.isNull()) {
        mNatPmpSilentAt.clear();
        answer(call, {mAsked->address.toString(), address.toString(), kNatPmp, QString()});
        return;
    }
    if (why.isEmpty()) {
        mNatPmpSilentAt = mAsked->address;
        mNatPmpSilentSince.start();
    }
    mNatPmpRefusal = why;
    if (mUpnpFailed)
        return answer(call, failure(mAsked->address));
    askUpnp(call);
}

QtRouter::Answer QtRouter::failure(const QHostAddress& gateway) const
{
    if (!mNatPmpRefusal.isEmpty())
        return {gateway.toString(), QString(), kNatPmp, mNatPmpRefusal};
    return {gateway.toString(), QString(), QString(),
            QStringLiteral("no answer from the router %1 (NAT-PMP or UPnP)").arg(gateway.toString())};
}

void QtRouter::askUpnp(quint64 call)
{
    const QHostAddress gateway = mAsked->address;
    const QHostAddress local = mAsked->local;
    // The device found before at this gateway is asked again at once; only when it does not
    // answer is it looked for anew.
    const std::optional<Igd> known = mIgd && mIgd->gateway == gateway ? mIgd : std::nullopt;
    mUpnp.run<upnpQuery::Answer>(
        [gateway, local, known] {
            if (known) {
                upnpQuery::Answer again = upnpQuery::askAgain(known->controlUrl, known->serviceType);
                if (again.found) {
                    again.eventUrl = known->eventUrl;
                    return again;
                }
            }
            return upnpQuery::ask(gateway, local);
        },
        [this, call, gateway](const upnpQuery::Answer& upnp) {
            if (call != mCall)
                return;
            if (upnp.found) {
                mIgd = Igd{gateway, upnp.eventUrl, upnp.address, upnp.controlUrl, upnp.serviceType};
                subscribe();
            }
            if (upnp.found)
                return answer(call, {gateway.toString(), upnp.address, kUpnp, upnp.why});
            // NAT-PMP was passed over because it was silent a while ago: with UPnP gone too,
            // it may be back.
            if (mNatPmpSkipped) {
                mUpnpFailed = true;
                return askNatPmp(call);
            }
            answer(call, failure(gateway));
        });
}

void QtRouter::answer(quint64 call, const Answer& answer)
{
    if (call != mCall)
        return;
    if (auto done = std::exchange(mDone, nullptr))
        done(answer);
}

void QtRouter::listen(std::function<void()> mayHaveChanged)
{
    const bool listening = bool(mMayHaveChanged);
    mMayHaveChanged = std::move(mayHaveChanged);
    if (!mMayHaveChanged) {
        stopListening();
        mFollowed.reset();
        return;
    }
    if (!listening) {
        mFollowed = currentGateway();
        startListening();
    }
}

void QtRouter::follow(const std::optional<Gateway>& gateway)
{
    if (!mMayHaveChanged)
        return;
    const bool same = gateway && mFollowed
                          ? gateway->address == mFollowed->address && gateway->device == mFollowed->device &&
                                gateway->local == mFollowed->local
                          : !gateway && !mFollowed;
    if (same)
        return;
    stopListening();
    mFollowed = gateway;
    startListening();
}

void QtRouter::startListening()
{
    if (!mFollowed)
        return;
    mAnnouncements = std::make_unique<NatPmpAnnouncements>(mFollowed->address, mFollowed->device, [this] {
        if (!mCoalesce.isActive())
            mCoalesce.start();
    });
    subscribe();
}

void QtRouter::stopListening()
{
    mSubscription.reset(); // which says so to the router
    mCallback.reset();
    mAnnouncements.reset();
    mCoalesce.stop();
}

void QtRouter::subscribe()
{
    if (!mMayHaveChanged || !mFollowed || !mIgd || mIgd->gateway != mFollowed->address ||
        mIgd->eventUrl.isEmpty())
        return;
    if (mSubscription && mSubscription->eventUrl() == mIgd->eventUrl)
        return;
    mSubscription.reset();
    if (!mCallback) {
        mCallback = std::make_unique<GenaCallback>(
            mFollowed->local, mFollowed->address,
            [this](const QByteArray& sid) {
                if (mSubscription && !mSubscription->sid().isEmpty() && sid == mSubscription->sid())
                    return GenaCallback::Verdict::Accept;
                if (mSubscription && mSubscription->subscribing())
                    return GenaCallback::Verdict::Wait;
                return GenaCallback::Verdict::Refuse;
            },
            [this](const std::optional<QString>& address) { eventHeard(address); });
    }
    if (!mCallback->problem().isEmpty())
        return;
    // The first event of a subscription names the address as it is then: a change since the
    // question that found the device is a change.
    mLastHeard = mIgd->address.isEmpty() ? std::nullopt : std::optional(mIgd->address);
    mSubscription = std::make_unique<GenaSubscription>(mIgd->eventUrl, mCallback->url(), [this] {
        // Notifications that came before the router's answer are judged now.
        QTimer::singleShot(0, this, [this] {
            if (mCallback)
                mCallback->judgeWaiting();
        });
    });
}

void QtRouter::eventHeard(const std::optional<QString>& externalAddress)
{
    if (!externalAddress || externalAddress == mLastHeard)
        return;
    mLastHeard = externalAddress;
    if (!mCoalesce.isActive())
        mCoalesce.start();
}
