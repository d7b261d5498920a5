#pragma once

#include "platform/IAddressWatch.h"
#include "platform/qt/QtSocket.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <optional>

class QSocketNotifier;

// This machine's addresses as the system's routing sees them, without sending anything.
//
// A server name is looked up once and its answer kept, so that the checks every few seconds
// send no lookups: it is looked up again for another server or port, after the kernel
// announced a change of addresses or routes (the network may now reach another name server,
// or the server another way), and when the answer is older than kAnswerMaxAgeMs. The kernel's
// announcements arrive on a route netlink socket and are gathered into one call of the change
// handler; the poll calls it as well, always, since an announcement can be lost (the socket's
// queue overflowing) or never come (a sandbox whose netlink stays silent, a rule change).
class QtAddressWatch : public QObject, public IAddressWatch
{
    Q_OBJECT
public:
    // A name server's answer may change at any time; a dynamic-DNS provider's update server
    // rarely moves. Ten minutes lets a moved server be found soon enough while the checks
    // send one lookup in every 120.
    static constexpr qint64 kAnswerMaxAgeMs = 10 * 60 * 1000;
    // A failed lookup is tried again soon: it usually means the network was not there yet, and
    // a name that becomes known is posted within seconds. One lookup in five seconds at most.
    static constexpr qint64 kFailureMaxAgeMs = 5 * 1000;
    // Announcements come in bursts (an address, then its routes): one call for the burst.
    static constexpr int kSettleMs = 200;
    static constexpr int kPollMs = 5000;

    explicit QtAddressWatch(int pollMs = kPollMs, QtSocket::Resolver resolver = QtSocket::systemResolver);
    ~QtAddressWatch() override;

    void findLocalAddress(const QString& server, quint16 port,
                          std::function<void(const QString& address, const QString& problem)> done) override;
    bool holdsAddress(const QString& address) const override;
    void setChangeHandler(std::function<void()> handler) override;

private:
    struct Answer
    {
        QString server;
        quint16 port = 0;
        QList<QHostAddress> addresses;
        QString problem;
        QElapsedTimer age;
        bool stale = true;
    };

    void lookedUp(const QString& server, quint16 port, const QList<QHostAddress>& addresses,
                  const QString& error);
    void answerLater(quint64 call, const QString& server, quint16 port, const QList<QHostAddress>& addresses,
                     const QString& problem);
    void answer(quint64 call, const QString& server, quint16 port, const QList<QHostAddress>& addresses,
                const QString& problem);
    void readAnnouncements();
    void settled();

    QtSocket::Resolver mResolver;
    std::function<void(const QString&, const QString&)> mDone;
    quint64 mCall = 0;
    // A lookup that is running answers the newest call if that asks for its server and port;
    // any other call makes it obsolete.
    quint64 mLookup = 0;
    std::optional<std::pair<QString, quint16>> mLookingUp; // its server and port
    Answer mAnswer;

    std::function<void()> mChangeHandler;
    int mNetlink = -1;
    QSocketNotifier* mNotifier = nullptr;
    QTimer mSettle;
    QTimer mPoll;
};
