#include "ui/ConversationNotice.h"

#include "update/ActivityLog.h"

namespace {

// A log message without the " - " every message begins with, cut where the log cuts it.
QString words(const QString& message)
{
    return ActivityLog::bounded(message.startsWith(QStringLiteral(" - ")) ? message.mid(3) : message);
}

} // namespace

ConversationNotice ConversationNotice::of(const ConversationResult& result)
{
    if (!result.accepted.isEmpty())
        return {words(result.accepted), false};
    if (!result.refused.isEmpty())
        return {words(result.refused), true};
    if (!result.error.isEmpty())
        return {words(result.error), true};
    return {QStringLiteral("Disconnected."), true};
}
