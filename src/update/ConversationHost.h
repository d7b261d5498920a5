#pragma once

#include "update/ConversationResult.h"
#include "update/LogSink.h"

// What a conversation and its control tell whoever runs them.
class ConversationHost : public LogSink
{
public:
    // A conversation is about to connect.
    virtual void conversationStarted(Operation operation) = 0;
    // The server has accepted the step: the outcome is settled, whatever comes after it (a
    // "BYE", a lost connection, the program's end).
    virtual void stepAccepted(const ConversationResult& result) = 0;
    // The program cut the conversation off; the result's failure says why. Nothing more comes
    // of it.
    virtual void conversationCutOff(const ConversationResult& result) = 0;
    // The conversation has ended and its connection is closed. Returns false when the host ends
    // the program there; the conversation then does nothing more.
    virtual bool conversationEnded(const ConversationResult& result) = 0;
};
