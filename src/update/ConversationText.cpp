#include "update/ConversationText.h"

#include "update/ConversationResult.h"
#include "update/LogEntry.h"

namespace ConversationText {

QString entry(const QString& words)
{
    return LogEntry::stamped(QStringLiteral(" - ") + words);
}

QString accepted(Operation operation, const QString& host)
{
    return host +
           (operation == Operation::Update ? QStringLiteral(" updated.") : QStringLiteral(" offline."));
}

QString error(const QString& description)
{
    return QStringLiteral("Error: ") + description + QLatin1Char('.');
}

QString outcome(const ConversationResult& result)
{
    if (result.outcome == ConversationResult::Outcome::Accepted)
        return accepted(result.operation, result.host);
    if (result.outcome == ConversationResult::Outcome::Refused)
        return error(result.refusal);
    if (!result.failure.isEmpty())
        return error(result.failure);
    return QStringLiteral("Disconnected.");
}

} // namespace ConversationText
