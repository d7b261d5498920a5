#include "platform/qt/QtClock.h"

#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

class TimerAlarm : public IAlarm
{
public:
    explicit TimerAlarm(std::function<void()> ring)
    {
        mTimer.setSingleShot(true);
        QObject::connect(&mTimer, &QTimer::timeout, [ring = std::move(ring)] { ring(); });
    }

    void start(std::chrono::milliseconds wait) override
    {
        // A QTimer counts in int milliseconds; no wait of the program's comes near that.
        mTimer.start(static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT_MAX)));
    }
    void stop() override { mTimer.stop(); }
    bool isActive() const override { return mTimer.isActive(); }

private:
    QTimer mTimer;
};

} // namespace

QDateTime QtClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

std::chrono::milliseconds QtClock::elapsed() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<IAlarm> QtClock::alarm(std::function<void()> ring)
{
    return std::make_unique<TimerAlarm>(std::move(ring));
}
