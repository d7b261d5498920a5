#pragma once

#include <chrono>
#include <deque>
#include <optional>

// Spaces the posts of one host, so that an address that flaps, or a flood of requests, never
// turns into a flood of posts (which is how providers come to lock accounts): a post may start
// at once, the next one no sooner than kGap after it; once more than kBurst posts have started
// within kWindow, no sooner than kSlowGap after the last, until kQuiet has passed without one.
// A machine whose address changes a few times a day never notices.
class PostPacing
{
public:
    using milliseconds = std::chrono::milliseconds;

    static constexpr milliseconds kGap{std::chrono::seconds(5)};
    static constexpr milliseconds kSlowGap{std::chrono::minutes(1)};
    static constexpr int kBurst = 10;
    static constexpr milliseconds kWindow{std::chrono::minutes(10)};
    static constexpr milliseconds kQuiet{std::chrono::minutes(10)};

    // A post started at the time.
    void started(milliseconds at);
    // How long a post asked for at the time must wait: zero when it may start now.
    milliseconds waitAt(milliseconds at) const;

private:
    std::deque<milliseconds> mRecent; // the starts within the last kWindow
    std::optional<milliseconds> mLast;
    bool mSlow = false;
};
