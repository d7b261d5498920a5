#pragma once

#include "app/Operation.h"

#include <QString>

struct ConversationResult;

// The words of a conversation as the activity log says them: the words of a line without the
// " - " it begins with, as the tray's notice and the history say them too.
namespace ConversationText {

// The log entry of the words: the time stamp, " - " and the words.
QString entry(const QString& words);

// "<host> updated." or "<host> offline."
QString accepted(Operation operation, const QString& host);
// "Error: <description>."
QString error(const QString& description);
// How it went, as the line of the log that tells it: the accepted step, else the server's
// refusal, else what ended it ("Disconnected." when nothing did).
QString outcome(const ConversationResult& result);

} // namespace ConversationText
