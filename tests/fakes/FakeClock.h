#pragma once

#include "platform/IClock.h"

#include <QList>

#include <algorithm>
#include <optional>

// A clock that stands still until the test moves it on; the alarms that fall due meanwhile
// ring in the order of their times, each at its own time.
class FakeClock : public IClock
{
public:
    using milliseconds = std::chrono::milliseconds;

    explicit FakeClock(QDateTime start = QDateTime::currentDateTimeUtc()) : mStart(std::move(start)) {}

    QDateTime now() const override { return mStart.addMSecs(mElapsed.count()); }
    milliseconds elapsed() const override { return mElapsed; }
    std::unique_ptr<IAlarm> alarm(std::function<void()> ring) override
    {
        return std::make_unique<Alarm>(*this, std::move(ring));
    }

    // Moves the time on, ringing every alarm that falls due on the way (those due now too).
    void advance(milliseconds by)
    {
        const milliseconds target = mElapsed + by;
        for (;;) {
            Alarm* next = nullptr;
            for (Alarm* alarm : std::as_const(mAlarms)) {
                if (alarm->due && *alarm->due <= target &&
                    (!next || *alarm->due < *next->due ||
                     (*alarm->due == *next->due && alarm->order < next->order)))
                    next = alarm;
            }
            if (!next)
                break;
            mElapsed = std::max(mElapsed, *next->due);
            next->due.reset();
            next->ring();
        }
        mElapsed = target;
    }

private:
    struct Alarm : IAlarm
    {
        Alarm(FakeClock& owner, std::function<void()> callback) : clock(owner), ring(std::move(callback))
        {
            clock.mAlarms.append(this);
        }
        ~Alarm() override { clock.mAlarms.removeOne(this); }
        void start(milliseconds wait) override
        {
            due = clock.mElapsed + std::max(wait, milliseconds(0));
            order = ++clock.mStarted;
        }
        void stop() override { due.reset(); }
        bool isActive() const override { return due.has_value(); }

        FakeClock& clock;
        std::function<void()> ring;
        std::optional<milliseconds> due;
        quint64 order = 0;
    };

    QDateTime mStart;
    milliseconds mElapsed{0};
    QList<Alarm*> mAlarms;
    quint64 mStarted = 0;
};
