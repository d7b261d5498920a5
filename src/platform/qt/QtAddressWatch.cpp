#include "platform/qt/QtAddressWatch.h"

#include "platform/qt/AddressText.h"
#include "platform/qt/InterfaceAddresses.h"

#include <QNetworkInterface>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Links, addresses and routes of both families: whatever may change the source address.
constexpr unsigned kAnnouncedGroups =
    RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;

int openAnnouncements()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local = {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = kAnnouncedGroups;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// With privacy addresses on, the kernel's IPv6 source is a temporary address that it retires
// within a day; the interface's stable address is the one that keeps reaching this machine.
QHostAddress postedFor(const QHostAddress& source)
{
    if (source.protocol() != QAbstractSocket::IPv6Protocol)
        return source;
    return StableAddress::of(source, interfaceAddresses::beside(source));
}

// The address a datagram to remote would leave from (for IPv6, the stable one beside it):
// connecting a UDP socket makes the kernel choose the route and the source address, and sends
// nothing.
QString localAddressFor(const QHostAddress& remote, quint16 port, QString& problem)
{
    sockaddr_storage to = {};
    socklen_t toLength = 0;
    if (remote.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&to);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(remote.toIPv4Address());
        toLength = sizeof(sockaddr_in);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&to);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = remote.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        const QString scope = remote.scopeId();
        bool numbered = false;
        in6->sin6_scope_id = scope.toUInt(&numbered);
        if (!scope.isEmpty() && !numbered)
            in6->sin6_scope_id = ::if_nametoindex(scope.toLocal8Bit().constData());
        toLength = sizeof(sockaddr_in6);
    }

    const int fd = ::socket(to.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage from = {};
    socklen_t fromLength = sizeof from;
    QString address;
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), toLength) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&from), &fromLength) != 0)
        problem = qt_error_string(errno);
    else
        address = addressText::shown(postedFor(QHostAddress(reinterpret_cast<const sockaddr*>(&from))));
    if (fd >= 0)
        ::close(fd);
    return address;
}

} // namespace

QtAddressWatch::QtAddressWatch(int pollMs, QtSocket::Resolver resolver)
    : mResolver(std::move(resolver)), mNetlink(openAnnouncements())
{
    mSettle.setSingleShot(true);
    mSettle.setInterval(kSettleMs);
    connect(&mSettle, &QTimer::timeout, this, &QtAddressWatch::settled);
    mPoll.setInterval(pollMs);
    connect(&mPoll, &QTimer::timeout, this, [this] {
        if (mChangeHandler && !mSettle.isActive())
            mChangeHandler();
    });
    if (mNetlink >= 0) {
        mNotifier = new QSocketNotifier(mNetlink, QSocketNotifier::Read, this);
        connect(mNotifier, &QSocketNotifier::activated, this, &QtAddressWatch::readAnnouncements);
    }
}

QtAddressWatch::~QtAddressWatch()
{
    delete mNotifier;
    if (mNetlink >= 0)
        ::close(mNetlink);
}

void QtAddressWatch::findLocalAddress(const QString& server, quint16 port,
                                      std::function<void(const QString&, const QString&)> done)
{
    mDone = std::move(done);
    const quint64 call = ++mCall;
    if (mLookingUp == std::pair(server, port))
        return;
    ++mLookup;
    mLookingUp.reset();

    if (QHostAddress numeric; numeric.setAddress(server))
        return answerLater(call, server, port, {numeric}, QString());
    // The answer kept serves its server and port until the network changes or it grows old.
    if (!mAnswer.stale && mAnswer.server == server && mAnswer.port == port &&
        !mAnswer.age.hasExpired(mAnswer.problem.isEmpty() ? kAnswerMaxAgeMs : kFailureMaxAgeMs))
        return answerLater(call, server, port, mAnswer.addresses, mAnswer.problem);
    const quint64 lookup = mLookup;
    mLookingUp.emplace(server, port);
    mResolver(server, this,
              [this, lookup, server, port](const QList<QHostAddress>& addresses, const QString& error) {
                  if (lookup == mLookup)
                      lookedUp(server, port, addresses, error);
              });
}

void QtAddressWatch::lookedUp(const QString& server, quint16 port, const QList<QHostAddress>& addresses,
                              const QString& error)
{
    mLookingUp.reset();
    mAnswer.server = server;
    mAnswer.port = port;
    mAnswer.addresses = addresses;
    addressText::putIPv4First(mAnswer.addresses);
    mAnswer.problem =
        addresses.isEmpty() ? QStringLiteral("Cannot look up %1: %2").arg(server, error) : QString();
    mAnswer.age.start();
    mAnswer.stale = false;
    answer(mCall, server, port, mAnswer.addresses, mAnswer.problem);
}

// The answer always comes on a later turn of the event loop, whether the name was known or not.
void QtAddressWatch::answerLater(quint64 call, const QString& server, quint16 port,
                                 const QList<QHostAddress>& addresses, const QString& problem)
{
    QMetaObject::invokeMethod(
        this, [=, this] { answer(call, server, port, addresses, problem); }, Qt::QueuedConnection);
}

void QtAddressWatch::answer(quint64 call, const QString& server, quint16 port,
                            const QList<QHostAddress>& addresses, const QString& problem)
{
    if (call != mCall || !mDone)
        return;
    QString address;
    QString found = problem;
    for (const QHostAddress& remote : addresses) {
        QString why;
        address = localAddressFor(remote, port, why);
        if (!address.isEmpty())
            break;
        // The first address's reason is the telling one: it is the one a conversation tries first.
        if (found.isEmpty()) {
            const QString shown = addressText::shown(remote);
            found =
                QStringLiteral("No route to %1: %2")
                    .arg(shown == server ? server : server + QStringLiteral(" (") + shown + QLatin1Char(')'),
                         why);
        }
    }
    std::exchange(mDone, {})(address, address.isEmpty() ? found : QString());
}

bool QtAddressWatch::holdsAddress(const QString& address) const
{
    const QHostAddress wanted(address);
    if (wanted.isNull())
        return false;
    return std::ranges::any_of(QNetworkInterface::allAddresses(), [&wanted](const QHostAddress& one) {
        return one.isEqual(wanted, QHostAddress::ConvertV4MappedToIPv4);
    });
}

void QtAddressWatch::setChangeHandler(std::function<void()> handler)
{
    mChangeHandler = std::move(handler);
    if (mChangeHandler)
        mPoll.start();
    else
        mPoll.stop();
}

void QtAddressWatch::readAnnouncements()
{
    // What was announced does not matter, only that something was: the source address is
    // asked for again either way.
    char buffer[8192];
    bool heard = false;
    for (;;) {
        const ssize_t got = ::recv(mNetlink, buffer, sizeof buffer, 0);
        // ENOBUFS: announcements overflowed the socket's queue; some were lost, so something changed.
        if (got > 0 || (got < 0 && errno == ENOBUFS))
            heard = true;
        else if (got == 0 || errno != EINTR)
            break;
    }
    if (heard && !mSettle.isActive())
        mSettle.start();
}

void QtAddressWatch::settled()
{
    mAnswer.stale = true;
    // A lookup sent before the change is not joined by the calls after it.
    mLookingUp.reset();
    // The poll counts from the last call, so that it does not follow on the heels of this one.
    if (mChangeHandler) {
        mPoll.start();
        mChangeHandler();
    }
}
