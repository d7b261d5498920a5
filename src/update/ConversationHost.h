#pragma once

#include "update/ConversationResult.h"
#include "update/LogSink.h"

// What a conversation and its control tell whoever runs them.
class ConversationHost : public LogSink
{
public:
    // A log entry that tells of a refusal or an error.
    virtual void AppendError(const QString& text) { AppendLog(text); }
    // A conversation is about to connect.
    virtual void conversationStarted(Operation /*operation*/) {}
    // The server has accepted the step: the outcome is settled, whatever comes after it (a
    // "BYE", a lost connection, the program's end).
    virtual void stepAccepted(const ConversationResult& /*result*/) {}
    // The program cut the conversation off; the result's failure says why. Nothing more comes
    // of it.
    virtual void conversationCutOff(const ConversationResult& /*result*/) {}
    // The conversation has ended and its connection is closed. Returns false when the host ends
    // the program there; the conversation then does nothing more.
    virtual bool conversationEnded(const ConversationResult& result) = 0;
};
