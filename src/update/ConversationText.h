#pragma once

#include "app/Operation.h"

#include <QString>

struct ConversationResult;

// The words of a conversation as the activity log says them. Each line function gives a log
// line's message (before its time stamp); the others give the words of a line without the " - "
// it begins with, as the tray's notice and the history say them.
namespace ConversationText {

QString line(const QString& words);

QString connecting(const QString& server, qint32 port);
QString connected();
QString greeting(const QString& reply);
QString loggingIn();
QString sendingAddress(const QString& address);
QString sendingOffline();
QString disconnected();

// "<host> updated." or "<host> offline."
QString accepted(Operation operation, const QString& host);
// "Error: <description>."
QString error(const QString& description);
// How it went, as the line of the log that tells it: the accepted step, else the server's
// refusal, else what ended it ("Disconnected." when nothing did).
QString outcome(const ConversationResult& result);

} // namespace ConversationText
