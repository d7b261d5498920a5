#include "platform/qt/InterfaceAddresses.h"

#include <optional>

#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The kernel's "forever" in its lifetimes.
constexpr quint32 kForever = 0xFFFFFFFFu;

struct Held
{
    int interfaceIndex = 0;
    StableAddress::Candidate candidate;
};

// One RTM_NEWADDR message of the dump, or none when it holds no address.
std::optional<Held> heldIn(const nlmsghdr* message)
{
    const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(message));
    if (info->ifa_family != AF_INET6)
        return std::nullopt;
    Held held;
    held.interfaceIndex = static_cast<int>(info->ifa_index);
    // The 8-bit field misses the newer flags; IFA_FLAGS, when sent, holds them all.
    quint32 flags = info->ifa_flags;
    bool addressed = false;
    int length = static_cast<int>(IFA_PAYLOAD(message));
    for (auto* attribute = IFA_RTA(info); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        const void* data = RTA_DATA(attribute);
        const auto size = RTA_PAYLOAD(attribute);
        if (attribute->rta_type == IFA_ADDRESS && size == sizeof(in6_addr)) {
            held.candidate.address = QHostAddress(static_cast<const quint8*>(data));
            addressed = true;
        } else if (attribute->rta_type == IFA_FLAGS && size == sizeof(quint32)) {
            std::memcpy(&flags, data, sizeof flags);
        } else if (attribute->rta_type == IFA_CACHEINFO && size == sizeof(ifa_cacheinfo)) {
            ifa_cacheinfo lifetimes;
            std::memcpy(&lifetimes, data, sizeof lifetimes);
            if (lifetimes.ifa_valid != kForever)
                held.candidate.validSeconds = lifetimes.ifa_valid;
        }
    }
    if (!addressed)
        return std::nullopt;
    held.candidate.temporary = flags & IFA_F_TEMPORARY;
    held.candidate.deprecated = flags & IFA_F_DEPRECATED;
    held.candidate.tentative = flags & IFA_F_TENTATIVE;
    held.candidate.dadFailed = flags & IFA_F_DADFAILED;
    return held;
}

// All IPv6 addresses the kernel holds, or none when it could not be asked.
QList<Held> dump()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return {};
    struct
    {
        nlmsghdr header;
        ifaddrmsg body;
    } request = {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ifa_family = AF_INET6;
    QList<Held> found;
    if (::send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        ::close(fd);
        return {};
    }
    // Large enough for any batch of messages the kernel sends in a dump.
    alignas(nlmsghdr) char buffer[32768];
    for (bool done = false; !done;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        auto length = static_cast<unsigned>(got);
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (message->nlmsg_type != RTM_NEWADDR)
                continue;
            if (const std::optional<Held> held = heldIn(message))
                found.append(*held);
        }
    }
    ::close(fd);
    return found;
}

} // namespace

namespace interfaceAddresses {

QList<StableAddress::Candidate> beside(const QHostAddress& address)
{
    const QList<Held> all = dump();
    int interfaceIndex = 0;
    for (const Held& held : all) {
        if (held.candidate.address.isEqual(address))
            interfaceIndex = held.interfaceIndex;
    }
    QList<StableAddress::Candidate> candidates;
    for (const Held& held : all) {
        if (interfaceIndex != 0 && held.interfaceIndex == interfaceIndex)
            candidates.append(held.candidate);
    }
    return candidates;
}

} // namespace interfaceAddresses
