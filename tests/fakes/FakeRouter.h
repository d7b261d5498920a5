#pragma once

#include "platform/IAddressLookup.h"
#include "platform/ILookupHold.h"
#include "platform/IRouter.h"

#include <QHash>

#include <utility>

// A scripted router: the answer the test sets, given at once or when the test says.
class FakeRouter : public IRouter
{
public:
    void askOutsideAddress(std::function<void(const Answer&)> done) override
    {
        ++asks;
        mWaiting = std::move(done);
        if (answerAtOnce)
            answer();
    }
    void listen(std::function<void()> mayHaveChanged) override { heard = std::move(mayHaveChanged); }

    bool answer()
    {
        if (!mWaiting)
            return false;
        std::exchange(mWaiting, {})(scripted);
        return true;
    }

    Answer scripted;
    bool answerAtOnce = true;
    int asks = 0;
    std::function<void()> heard;

private:
    std::function<void(const Answer&)> mWaiting;
};

// A scripted lookup service: every ask is recorded and answered with the scripted reply.
class FakeAddressLookup : public IAddressLookup
{
public:
    void lookUp(const QUrl& url, std::function<void(const Reply&)> done) override
    {
        asked.append(url);
        done(scripted);
    }

    Reply scripted;
    QList<QUrl> asked;
};

// The lookup service's hold, kept in memory as a file would keep it from one run to the next.
class FakeLookupHold : public ILookupHold
{
public:
    QDateTime until(const QUrl& url) const override { return held.value(url); }
    void hold(const QUrl& url, const QDateTime& until) override { held[url] = until; }

    QHash<QUrl, QDateTime> held;
};
