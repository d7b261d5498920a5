#include "history/HistoryRecorder.h"

#include "platform/Failure.h"
#include "platform/IClock.h"
#include "update/ConsoleLog.h"

#include <atomic>

namespace {
// One process may hold several recorders; a history that cannot be written is said once.
std::atomic_flag gSaid = ATOMIC_FLAG_INIT;
} // namespace

void HistoryRecorder::record(const ConversationResult& result) const
{
    QString why;
    try {
        mHistory.append(HistoryEntry::of(mRunner, result, mClock.now()));
        return;
    } catch (const Failure& failure) {
        why = failure.description;
    } catch (const std::exception& failure) {
        why = QString::fromLocal8Bit(failure.what());
    }
    if (!gSaid.test_and_set())
        ConsoleLog(mErr, mErr, false)
            .complain(QStringLiteral("the history ") + mHistory.path() +
                      QStringLiteral(" cannot be written: ") + why);
}
