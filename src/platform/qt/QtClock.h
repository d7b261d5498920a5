#pragma once

#include "platform/IClock.h"

// The system's clocks, and alarms on the event loop's timers.
class QtClock : public IClock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::chrono::milliseconds elapsed() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    std::unique_ptr<IAlarm> alarm(std::function<void()> ring) override;
};
