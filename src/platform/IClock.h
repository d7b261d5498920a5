#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

// A wait that calls back once from the event loop when it is over. Starting it again replaces
// the wait that was running.
class IAlarm
{
public:
    virtual ~IAlarm() = default;

    virtual void start(std::chrono::milliseconds wait) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// What time it is, and waits: the watcher decides by them, and tests move them on at will.
class IClock
{
public:
    virtual ~IClock() = default;

    // The wall clock, in UTC: what the history's times are compared with.
    virtual QDateTime now() const = 0;
    // Time that only goes forward, whatever is done to the wall clock: for spacing things out.
    virtual std::chrono::milliseconds elapsed() const = 0;
    // An alarm that calls ring when its wait is over.
    virtual std::unique_ptr<IAlarm> alarm(std::function<void()> ring) = 0;
};
