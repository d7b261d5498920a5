#include "watch/PostPacing.h"

#include <algorithm>

void PostPacing::started(milliseconds at)
{
    if (mLast && at - *mLast >= kQuiet)
        mSlow = false;
    mLast = at;
    mRecent.push_back(at);
    while (!mRecent.empty() && at - mRecent.front() >= kWindow)
        mRecent.pop_front();
    if (static_cast<int>(mRecent.size()) > kBurst)
        mSlow = true;
}

PostPacing::milliseconds PostPacing::waitAt(milliseconds at) const
{
    if (!mLast)
        return milliseconds(0);
    return std::max(milliseconds(0), *mLast + (mSlow ? kSlowGap : kGap) - at);
}
