#include "history/HistoryRecorder.h"

#include "app/Identity.h"
#include "app/VisibleText.h"
#include "platform/Failure.h"
#include "platform/IClock.h"

#include <atomic>

namespace {
// One process may hold several recorders; a history that cannot be written is said once.
std::atomic_flag gSaid = ATOMIC_FLAG_INIT;
} // namespace

HistoryRecorder::HistoryRecorder(History history, HistoryEntry::Runner runner, const IClock& clock,
                                 std::FILE* err)
    : mHistory(std::move(history)), mRunner(runner), mClock(clock), mErr(err)
{
}

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
    if (gSaid.test_and_set())
        return;
    const QByteArray text =
        VisibleText::escaped(identity::kProgram + QStringLiteral(": the history ") + mHistory.path() +
                             QStringLiteral(" cannot be written: ") + why)
            .toLocal8Bit() +
        '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), mErr);
    std::fflush(mErr);
}
