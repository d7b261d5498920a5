#pragma once

#include "platform/IAddressWatch.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <utility>

// A scripted address watch: the address (or the problem) each server is reached from, answered
// at once or when the test says; the addresses this machine holds; changes the test raises.
class FakeAddressWatch : public IAddressWatch
{
public:
    struct Answer
    {
        QString address;
        QString problem;
    };

    void findLocalAddress(const QString& server, quint16 port,
                          std::function<void(const QString&, const QString&)> done) override
    {
        ++lookups;
        lastServer = server;
        lastPort = port;
        mWaiting = std::move(done);
        if (answerAtOnce)
            answer();
    }

    bool holdsAddress(const QString& address) const override { return heldAddresses.contains(address); }
    void setChangeHandler(std::function<void()> handler) override { mChangeHandler = std::move(handler); }

    // Gives the call that waits its scripted answer; false when none waits.
    bool answer()
    {
        if (!mWaiting)
            return false;
        const Answer scripted =
            answers.value(lastServer, {QString(), QStringLiteral("No address scripted for ") + lastServer});
        const auto done = std::exchange(mWaiting, {});
        done(scripted.address, scripted.problem);
        return true;
    }

    // As the system announcing that an address or a route changed.
    void raiseChange()
    {
        if (mChangeHandler)
            mChangeHandler();
    }

    bool waiting() const { return static_cast<bool>(mWaiting); }

    QHash<QString, Answer> answers; // by server
    QSet<QString> heldAddresses;
    bool answerAtOnce = true;
    int lookups = 0;
    QString lastServer;
    quint16 lastPort = 0;

private:
    std::function<void(const QString&, const QString&)> mWaiting;
    std::function<void()> mChangeHandler;
};
