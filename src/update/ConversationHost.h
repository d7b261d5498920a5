#pragma once

#include "update/LogSink.h"

#include <QString>

// How a conversation went, in the words of its log lines (each without its time stamp).
struct ConversationResult
{
    // The server ended it with "BYE"; otherwise an error, a time-out or a lost connection did.
    bool endedByBye = false;
    // The message of the step the server accepted (" - <host> updated." or " - <host> offline."),
    // when it got that far.
    QString accepted;
    // The message of the server's last "ERR" (" - Error: <text>."), if any came.
    QString refused;
    // The message of the error that ended it, if one did.
    QString error;
};

// What the update client needs of whoever hosts it: the window, or a run without one.
class ConversationHost : public LogSink
{
public:
    // A log entry that tells of a refusal or an error. The window logs it as any other.
    virtual void AppendError(const QString& text) { AppendLog(text); }
    virtual void EnableMenus(bool enabled) = 0;
    // Sets the tray icon's tip and passes it to the notification area.
    virtual void setTrayTip(const QString& tip) = 0;
    // The conversation has ended and its connection is closed. Returns false when the host
    // ends the program there; the conversation then does nothing more.
    virtual bool conversationEnded(const ConversationResult& result) = 0;
};
