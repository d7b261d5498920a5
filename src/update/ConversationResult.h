#pragma once

#include "app/Operation.h"

#include <QString>

// How a conversation went, as plain data: the log, the history, the tray's notice and a run
// from a script each say it in their own words.
struct ConversationResult
{
    enum class Outcome {
        Accepted,       // the server accepted the step, even after a refusal it took back
        Refused,        // it said "ERR" and accepted nothing
        NoConversation, // none took place, or it broke off: no connection, a time-out, a lost one
        EndedByProgram, // the program cut it off: it ends, or the address went away
    };

    Operation operation = Operation::Update;
    // The host it was about, and the address it posted (empty when it got no further, and for
    // an offline step).
    QString host;
    QString address;
    Outcome outcome = Outcome::NoConversation;
    // The last line the server sent, as it came.
    QString lastReply;
    // The text of the server's last "ERR".
    QString refusal;
    // What ended it before the server's "BYE": a socket error, a time-out, the program's cut.
    QString failure;
    bool endedByBye = false;
};
