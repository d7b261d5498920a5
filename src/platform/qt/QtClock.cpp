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

std::unique_ptr<IAlarm> QtClock::alarm(std::function<void()> ring)
{
    return std::make_unique<TimerAlarm>(std::move(ring));
}
