#pragma once

#include "platform/IClock.h"

// The system's clocks, and alarms on the event loop's timers.
class QtClock : public IClock
{
public:
    QDateTime now() const override;
    std::chrono::milliseconds elapsed() const override;
    std::unique_ptr<IAlarm> alarm(std::function<void()> ring) override;
};
