#include "ui/ConversationNotice.h"

#include "update/ConversationText.h"
#include "update/LogEntry.h"

ConversationNotice ConversationNotice::of(const ConversationResult& result)
{
    // Cut where the log cuts it.
    return {LogEntry::bounded(ConversationText::outcome(result)),
            result.outcome != ConversationResult::Outcome::Accepted};
}
