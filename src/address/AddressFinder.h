#pragma once

#include "address/AddressChoice.h"
#include "address/AddressFrom.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

class IAddressLookup;
class IAddressWatch;
class IClock;
class ILookupHold;

// Asks the sources that "Current IP" needs, one after the other, and chooses from their
// answers (AddressChoice). It remembers a router that gave a public address on this network,
// and paces the lookup service: a reply is reused for five minutes unless a fresh one is asked
// for, a service that said when to come back (429, 503) is not asked before, and failed
// lookups wait longer and longer.
class AddressFinder
{
public:
    struct Services
    {
        IAddressWatch& addresses;
        IRouter& router;
        IAddressLookup& lookup;
        const IClock& clock;
        ILookupHold* hold = nullptr; // the lookup service's Retry-After across runs, if kept
    };
    static constexpr std::chrono::minutes kLookupReuse{5};
    // Even a fresh reply is not asked for more often: a flapping link must not flood the service.
    static constexpr std::chrono::seconds kFreshLookupSpacing{30};
    static constexpr std::chrono::minutes kFirstLookupPause{1};
    static constexpr std::chrono::minutes kLongestLookupPause{30};

    explicit AddressFinder(const Services& services) : mServices(services) {}

    // How much may be asked anew. A look that only checks whether the connection's address
    // changed reuses the router's last answer while that address stays; the router's word that
    // its address changed, or time, asks it again; a start, a refresh or a request asks the
    // lookup service too (within its pacing).
    enum class Fresh { No, Router, All };

    // Chooses the address for a conversation with the server at the port, through done. A later
    // call supersedes one that has not answered.
    void find(const AddressFrom& from, const QString& server, quint16 port, Fresh fresh,
              std::function<void(const AddressChoice&)> done);
    // Until when this run or an earlier one was asked not to ask the service at the URL (429 or
    // 503 with Retry-After); invalid when it was not, or that time is over.
    static QDateTime heldUntil(const Services& services, const QUrl& url);
    // Keeps the wait a reply asks for, for the runs that come after.
    static void keepHold(const Services& services, const QUrl& url, const LookupReply& reply);
    // The reading of a service not asked for its hold.
    static LookupReply held(const QDateTime& until);

    // The routes changed: what a router said on the old network no longer holds.
    void forgetNetwork()
    {
        mRouterWasPublicAt.clear();
        mRouterAnswer.reset();
        mLookupGaveFor.clear();
    }
    // What the sources said for the last choice.
    const AddressChoice::Readings& readings() const { return mReadings; }

private:
    void ask();
    void askLookup();
    bool lookupMayBeAsked() const;
    // The reading of a service that is not asked now and has not been in this run.
    LookupReply notAsked() const;
    void lookupAnswered(const LookupReply& reply);

    Services mServices;
    AddressFrom mFrom;
    Fresh mFresh = Fresh::All;
    // The router's last answer, and the connection's address it was asked for.
    std::optional<IRouter::Answer> mRouterAnswer;
    QString mRouterAnswerFor;
    std::function<void(const AddressChoice&)> mDone;
    AddressChoice::Readings mReadings;
    unsigned mCall = 0;
    QString mRouterWasPublicAt;
    // The lookup's pacing, on the clock's elapsed time.
    std::optional<LookupReply> mLastLookup;
    std::optional<std::chrono::milliseconds> mLastLookupAt;
    std::chrono::milliseconds mLookupBlockedUntil{0};
    std::chrono::milliseconds mLookupPause{0};
    QString mLookupGaveFor; // the connection's address the lookup last gave an address for
};
