#include "update/ConversationText.h"

#include "update/ConversationResult.h"

namespace ConversationText {

QString line(const QString& words)
{
    return QStringLiteral(" - ") + words;
}

QString connecting(const QString& server, qint32 port)
{
    return line(QStringLiteral("Connecting to ") + server + QLatin1Char(':') + QString::number(port) +
                QStringLiteral("..."));
}

QString connected()
{
    return line(QStringLiteral("Connected."));
}

QString greeting(const QString& reply)
{
    return line(QStringLiteral("Server: ") + reply);
}

QString loggingIn()
{
    return line(QStringLiteral("Logging In..."));
}

QString sendingAddress(const QString& address)
{
    return line(QStringLiteral("Sending new host IP (") + address + QStringLiteral(")..."));
}

QString sendingOffline()
{
    return line(QStringLiteral("Sending host offline..."));
}

QString disconnected()
{
    return line(QStringLiteral("Disconnected."));
}

QString accepted(Operation operation, const QString& host)
{
    return host +
           (operation == Operation::Update ? QStringLiteral(" updated.") : QStringLiteral(" offline."));
}

QString error(const QString& description)
{
    return QStringLiteral("Error: ") + description + QLatin1Char('.');
}

QString outcome(const ConversationResult& result)
{
    if (result.outcome == ConversationResult::Outcome::Accepted)
        return accepted(result.operation, result.host);
    if (result.outcome == ConversationResult::Outcome::Refused)
        return error(result.refusal);
    if (!result.failure.isEmpty())
        return error(result.failure);
    return QStringLiteral("Disconnected.");
}

} // namespace ConversationText
