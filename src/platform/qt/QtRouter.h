#pragma once

#include "platform/IRouter.h"
#include "platform/qt/BackgroundCall.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

class GenaCallback;
class GenaSubscription;
class NatPmpAnnouncements;
class NatPmpQuery;

// The default gateway, asked with NAT-PMP and then UPnP IGD for its outside address, and heard
// when it announces a change.
//
// The gateway is read from the kernel's routes at each question. Listening follows the gateway
// the last question found: a new one moves the announcements' filter to it and ends the event
// subscription of the old one. The UPnP events come from the device the last UPnP answer came
// from; a router that answers NAT-PMP is heard through its announcements alone.
class QtRouter : public QObject, public IRouter
{
    Q_OBJECT
public:
    // Several announcements of one change (NAT-PMP, PCP, a UPnP event) make one call.
    static constexpr int kCoalesceMs = 50;

    explicit QtRouter(QObject* parent = nullptr);
    ~QtRouter() override;

    void askOutsideAddress(std::function<void(const Answer&)> done) override;
    void listen(std::function<void()> mayHaveChanged) override;

private:
    struct Gateway
    {
        QHostAddress address;
        QString device;
        QHostAddress local; // this machine's address that faces it
    };
    // The gateway device that answered UPnP, and what it answered.
    struct Igd
    {
        QHostAddress gateway;
        QUrl eventUrl;
        QString address;
        QByteArray controlUrl;
        QByteArray serviceType;
    };
    // A router that did not answer NAT-PMP this long ago is asked by UPnP at once: a change it
    // told in an event must not wait for NAT-PMP's resends.
    static constexpr qint64 kNatPmpSilenceMs = 10 * 60 * 1000;

    static std::optional<Gateway> currentGateway();
    void askNatPmp(quint64 call);
    void natPmpAnswered(quint64 call, const QHostAddress& address, const QString& why);
    Answer failure(const QHostAddress& gateway) const;
    void askUpnp(quint64 call);
    void answer(quint64 call, const Answer& answer);
    void follow(const std::optional<Gateway>& gateway);
    void startListening();
    void stopListening();
    void subscribe();
    void eventHeard(const std::optional<QString>& externalAddress);

    // The question
    quint64 mCall = 0;
    std::function<void(const Answer&)> mDone;
    std::optional<Gateway> mAsked;
    NatPmpQuery* mNatPmp = nullptr;
    QString mNatPmpRefusal;
    bool mNatPmpSkipped = false; // for a gateway that was silent to it lately
    bool mUpnpFailed = false;    // UPnP found nothing at the gateway, this time
    BackgroundCall mUpnp;

    // Listening
    std::function<void()> mMayHaveChanged;
    std::optional<Gateway> mFollowed;
    std::optional<Igd> mIgd;
    QHostAddress mNatPmpSilentAt; // the gateway that last gave NAT-PMP no answer
    QElapsedTimer mNatPmpSilentSince;
    std::unique_ptr<NatPmpAnnouncements> mAnnouncements;
    std::unique_ptr<GenaCallback> mCallback;
    std::unique_ptr<GenaSubscription> mSubscription;
    // The outside address the events named last: the same event comes for port mappings.
    std::optional<QString> mLastHeard;
    QTimer mCoalesce;
};
