#include "address/AddressFinder.h"

#include "platform/IAddressLookup.h"
#include "platform/IAddressWatch.h"
#include "platform/IClock.h"
#include "platform/ILookupHold.h"

#include <algorithm>

using std::chrono::milliseconds;

void AddressFinder::find(const AddressFrom& from, const QString& server, quint16 port, Fresh fresh,
                         std::function<void(const AddressChoice&)> done)
{
    const unsigned call = ++mCall;
    mFrom = from;
    mFresh = fresh;
    mDone = std::move(done);
    mReadings = {};
    mReadings.routerWasPublicAt = mRouterWasPublicAt;
    if (from.source == AddressFrom::Source::Router)
        return ask();
    mServices.addresses.findLocalAddress(server, port,
                                         [this, call](const QString& address, const QString& problem) {
                                             if (call != mCall)
                                                 return;
                                             mReadings.connection = address;
                                             mReadings.connectionProblem = problem;
                                             ask();
                                         });
}

void AddressFinder::ask()
{
    const unsigned call = mCall;
    switch (AddressChoice::next(mFrom, mReadings)) {
    case AddressChoice::Ask::Router:
        if (mFresh == Fresh::No && mRouterAnswer && mRouterAnswerFor == mReadings.connection) {
            mReadings.router = mRouterAnswer;
            return ask();
        }
        mServices.router.askOutsideAddress([this, call](const IRouter::Answer& answer) {
            if (call != mCall)
                return;
            mRouterAnswer = answer;
            mRouterAnswerFor = mReadings.connection;
            mReadings.router = answer;
            if (AddressChoice::publicAnswer(answer))
                mRouterWasPublicAt = answer.gateway;
            else if (answer.gateway != mRouterWasPublicAt)
                mRouterWasPublicAt.clear(); // another network, or none
            mReadings.routerWasPublicAt = mRouterWasPublicAt;
            ask();
        });
        return;
    case AddressChoice::Ask::Lookup:
        return askLookup();
    case AddressChoice::Ask::Nothing:
        break;
    }
    // With a lookup service set, what it sees is compared with the router's address.
    if (mFrom.source == AddressFrom::Source::Lookup && !mReadings.lookup && mReadings.router &&
        AddressChoice::publicAnswer(*mReadings.router) && lookupMayBeAsked())
        return askLookup();
    if (!mReadings.lookup && mLastLookup && mFrom.source == AddressFrom::Source::Lookup)
        mReadings.lookup = mLastLookup;
    mReadings.lookupGaveAddress = !mLookupGaveFor.isEmpty() && mLookupGaveFor == mReadings.connection;
    const auto done = std::exchange(mDone, nullptr);
    if (done)
        done(AddressChoice::of(mFrom, mReadings));
}

QDateTime AddressFinder::heldUntil(const Services& services, const QUrl& url)
{
    if (!services.hold)
        return {};
    const QDateTime until = services.hold->until(url);
    const QDateTime now = services.clock.now();
    // A time further off than a service may ask for is not one it asked for.
    if (!until.isValid() || until <= now ||
        until > now.addSecs(std::chrono::seconds(LookupReply::kLongestRetryAfter).count()))
        return {};
    return until;
}

void AddressFinder::keepHold(const Services& services, const QUrl& url, const LookupReply& reply)
{
    if (services.hold && reply.retryAfter)
        services.hold->hold(url, services.clock.now().addSecs(reply.retryAfter->count()));
}

LookupReply AddressFinder::held(const QDateTime& until)
{
    return {QString(),
            QStringLiteral("the lookup service asked not to be asked again before ") +
                until.toLocalTime().toString(Qt::ISODate),
            std::nullopt};
}

LookupReply AddressFinder::notAsked() const
{
    const QDateTime until = heldUntil(mServices, mFrom.lookup);
    return until.isValid()
               ? held(until)
               : LookupReply{QString(), QStringLiteral("the lookup service is not asked yet"), std::nullopt};
}

bool AddressFinder::lookupMayBeAsked() const
{
    const milliseconds now = mServices.clock.elapsed();
    if (now < mLookupBlockedUntil || heldUntil(mServices, mFrom.lookup).isValid())
        return false;
    if (!mLastLookupAt)
        return true;
    return now - *mLastLookupAt >=
           (mFresh == Fresh::All ? milliseconds(kFreshLookupSpacing) : milliseconds(kLookupReuse));
}

void AddressFinder::askLookup()
{
    if (!lookupMayBeAsked()) {
        mReadings.lookup = mLastLookup ? *mLastLookup : notAsked();
        return ask();
    }
    const unsigned call = mCall;
    mServices.lookup.lookUp(mFrom.lookup, [this, call](const IAddressLookup::Reply& reply) {
        lookupAnswered(LookupReply::of(reply.status, reply.body, reply.retryAfter, mServices.clock.now(),
                                       reply.failure));
        if (call != mCall)
            return;
        mReadings.lookup = mLastLookup;
        ask();
    });
}

void AddressFinder::lookupAnswered(const LookupReply& reply)
{
    const milliseconds now = mServices.clock.elapsed();
    mLastLookup = reply;
    mLastLookupAt = now;
    keepHold(mServices, mFrom.lookup, reply);
    if (!reply.address.isEmpty()) {
        mLookupGaveFor = mReadings.connection;
        mLookupPause = milliseconds(0);
        mLookupBlockedUntil = milliseconds(0);
        return;
    }
    mLookupPause = mLookupPause == milliseconds(0)
                       ? milliseconds(kFirstLookupPause)
                       : std::min<milliseconds>(mLookupPause * 2, kLongestLookupPause);
    mLookupBlockedUntil = now + (reply.retryAfter ? milliseconds(*reply.retryAfter) : mLookupPause);
}
