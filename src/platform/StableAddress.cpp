#include "platform/StableAddress.h"

#include <algorithm>
#include <iterator>

namespace {

bool uniqueLocal(const QHostAddress& address)
{
    return address.isInSubnet(QHostAddress(QStringLiteral("fc00::")), 7);
}

// Global or unique-local unicast: the kinds for which the kernel makes temporary addresses.
bool postableKind(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol && !address.isLoopback() &&
           !address.isLinkLocal() && !address.isMulticast() && !address.isSiteLocal() &&
           address != QHostAddress(QHostAddress::AnyIPv6) &&
           !address.isInSubnet(QHostAddress(QStringLiteral("::ffff:0.0.0.0")), 96);
}

bool stable(const StableAddress::Candidate& candidate)
{
    return !candidate.temporary && !candidate.deprecated && !candidate.tentative && !candidate.dadFailed;
}

// Forever outlasts any number of seconds.
bool outlasts(const std::optional<quint32>& one, const std::optional<quint32>& other)
{
    if (!one)
        return other.has_value();
    return other && *one > *other;
}

bool lower(const QHostAddress& one, const QHostAddress& other)
{
    const Q_IPV6ADDR a = one.toIPv6Address();
    const Q_IPV6ADDR b = other.toIPv6Address();
    return std::lexicographical_compare(std::begin(a.c), std::end(a.c), std::begin(b.c), std::end(b.c));
}

} // namespace

QHostAddress StableAddress::of(const QHostAddress& source, const QList<Candidate>& interfaceAddresses)
{
    if (!postableKind(source))
        return source;
    // A unique-local source means the server sits on the inside network: a global address
    // would not be the one it reaches this machine by, nor the other way round.
    const bool local = uniqueLocal(source);
    const Candidate* best = nullptr;
    for (const Candidate& candidate : interfaceAddresses) {
        if (!stable(candidate) || !postableKind(candidate.address) || uniqueLocal(candidate.address) != local)
            continue;
        if (!best || outlasts(candidate.validSeconds, best->validSeconds)) {
            best = &candidate;
            continue;
        }
        if (outlasts(best->validSeconds, candidate.validSeconds))
            continue;
        // Equals: the kernel's own choice stays; otherwise the lowest, whatever order the kernel
        // listed them in, so that the same addresses always give the same answer.
        if (best->address.isEqual(source))
            continue;
        if (candidate.address.isEqual(source) || lower(candidate.address, best->address))
            best = &candidate;
    }
    return best ? best->address : source;
}
