#pragma once

#include "update/ConversationResult.h"
#include "update/LogSink.h"

class Failure;

// What an update session tells whoever runs it: the window, a run from a script, the watcher.
class SessionHost : public LogSink
{
public:
    // A conversation is about to connect.
    virtual void conversationStarted(Operation /*operation*/) {}
    // The conversation has ended, is recorded in the history, and its connection is closed.
    // Returns false when the host ends the program there.
    virtual bool conversationEnded(const ConversationResult& result) = 0;
    // The keyring could not give the password, so nothing was sent.
    virtual void passwordUnavailable(const Failure& failure, Operation operation) = 0;
};
