#pragma once

#include "app/Operation.h"
#include "update/LogSink.h"

#include <QString>

// How a conversation went, in the words of its log lines (each without its time stamp).
struct ConversationResult
{
    enum class Outcome { Accepted, Refused, Failed };

    Operation operation = Operation::Update;
    // The host it was about, and the address it posted (empty when it got no further, and for
    // an offline step).
    QString host;
    QString address;
    // The last line the server sent, as it came.
    QString lastReply;

    // The server ended it with "BYE"; otherwise an error, a time-out or a lost connection did.
    bool endedByBye = false;
    // The message of the step the server accepted (" - <host> updated." or " - <host> offline."),
    // when it got that far.
    QString accepted;
    // The message of the server's last "ERR" (" - Error: <text>."), if any came.
    QString refused;
    // The message of the error that ended it, if one did.
    QString error;

    // Accepted when the server accepted the step, even after a refusal it took back; refused
    // when it said "ERR" and accepted nothing; failed when no conversation took place or it
    // broke off.
    Outcome outcome() const
    {
        if (!accepted.isEmpty())
            return Outcome::Accepted;
        return refused.isEmpty() ? Outcome::Failed : Outcome::Refused;
    }
};

// What the update client needs of whoever hosts it: the window, or a run without one.
class ConversationHost : public LogSink
{
public:
    // A log entry that tells of a refusal or an error. The window logs it as any other.
    virtual void AppendError(const QString& text) { AppendLog(text); }
    // Why the address about to be posted must not be, as the error's description; empty when
    // it may. The window posts whatever address its connection went out from.
    virtual QString addressRefusal(const QString& /*address*/) const { return QString(); }
    // The server has accepted the step: the outcome is settled, whatever comes after it (a
    // "BYE", a lost connection, the program's end).
    virtual void stepAccepted(const ConversationResult& /*result*/) {}
    // The program cut the conversation off (it ends, or the address went away); the result's
    // error says why. Nothing more comes of the conversation.
    virtual void conversationCutOff(const ConversationResult& /*result*/) {}
    virtual void EnableMenus(bool enabled) = 0;
    // Sets the tray icon's tip and passes it to the notification area.
    virtual void setTrayTip(const QString& tip) = 0;
    // The conversation has ended and its connection is closed. Returns false when the host
    // ends the program there; the conversation then does nothing more.
    virtual bool conversationEnded(const ConversationResult& result) = 0;
};
