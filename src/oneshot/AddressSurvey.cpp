#include "oneshot/AddressSurvey.h"

#include "address/AddressRange.h"
#include "platform/IAddressLookup.h"
#include "platform/IAddressWatch.h"
#include "platform/IClock.h"
#include "platform/IRouter.h"

#include <QHostAddress>

bool AddressSurvey::asksRouter(const AddressFrom& from, const QString& connection)
{
    switch (from.source) {
    case AddressFrom::Source::Connection:
        return false;
    case AddressFrom::Source::Router:
        return true;
    case AddressFrom::Source::Auto:
    case AddressFrom::Source::Lookup:
        break;
    }
    const std::optional<AddressRange> range = AddressRange::of(QHostAddress(connection));
    return connection.isEmpty() || !range ||
           (range->use != AddressRange::Use::Loopback && range->use != AddressRange::Use::LinkLocal);
}

void AddressSurvey::survey(const AddressFrom& from, const QString& server, quint16 port,
                           std::function<void(const AddressChoice::Readings&)> done)
{
    mFrom = from;
    mReadings = {};
    mDone = std::move(done);
    mServices.addresses.findLocalAddress(server, port,
                                         [this](const QString& address, const QString& problem) {
                                             mReadings.connection = address;
                                             mReadings.connectionProblem = problem;
                                             if (asksRouter(mFrom, address))
                                                 return askRouter();
                                             askLookup();
                                         });
}

void AddressSurvey::askRouter()
{
    mServices.router.askOutsideAddress([this](const IRouter::Answer& answer) {
        mReadings.router = answer;
        askLookup();
    });
}

void AddressSurvey::askLookup()
{
    if (mFrom.source != AddressFrom::Source::Lookup)
        return answer();
    // A service that asked not to be asked yet is not, even to show what it says.
    if (const QDateTime until = AddressFinder::heldUntil(mServices, mFrom.lookup); until.isValid()) {
        mReadings.lookup = AddressFinder::held(until);
        return answer();
    }
    mServices.lookup.lookUp(mFrom.lookup, [this](const IAddressLookup::Reply& reply) {
        mReadings.lookup =
            LookupReply::of(reply.status, reply.body, reply.retryAfter, mServices.clock.now(), reply.failure);
        AddressFinder::keepHold(mServices, mFrom.lookup, *mReadings.lookup);
        answer();
    });
}

void AddressSurvey::answer()
{
    if (const auto done = std::exchange(mDone, nullptr))
        done(mReadings);
}
