#pragma once

#include "update/ConversationResult.h"

#include <QString>

// What the tray icon says of a conversation that ended while the window was hidden in the
// tray, its log out of sight: the log line that tells how it went, in its own words.
struct ConversationNotice
{
    QString text;
    bool warning = false;

    // The accepted step, else the server's refusal, else the error that ended it.
    static ConversationNotice of(const ConversationResult& result);
};
