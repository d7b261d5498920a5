#pragma once

#include "platform/ISocket.h"

#include <QObject>
#include <QTimer>

class ConversationHost;
class IWindowing;
class UpdateConversation;
struct UpdateRequest;

// Starts conversations, and ends them on the socket's Error and Close events, when the server
// falls silent, or when the whole conversation takes too long.
class ConversationControl : public QObject, public ISocketListener
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr int kDefaultLimitMs = 120000;

    ConversationControl(ISocket& socket, UpdateConversation& conversation, ConversationHost& host,
                        IWindowing& windowing);
    ~ConversationControl() override;

    // Connects for the request, which holds the password. Throws Failure when the socket
    // cannot take the connect.
    void start(const UpdateRequest& request);

    // A running conversation is cut off without a word in the log; a reason (the program ends,
    // the address went away) makes the host record it as cut off for that reason.
    void cutOff(const QString& reason = QString());

    // How long a connection may take to open, and the server may stay silent.
    void setTimeout(int milliseconds) { mTimeoutMs = milliseconds; }
    // How long a whole conversation may take, from the connect request on.
    void setLimit(int milliseconds) { mLimitMs = milliseconds; }
    // Whether a conversation timer is counting (none is while an error report is open).
    bool timersRunning() const { return mReplyTimer.isActive() || mLimitTimer.isActive(); }

    void sckClient_Connect();
    void sckClient_Error(int number, const QString& description);
    // A close without "BYE" ends the conversation as a socket error does.
    void sckClient_Close();

    void socketConnected() override { sckClient_Connect(); }
    void socketDataArrival(qint64 bytesTotal) override;
    void socketError(int number, const QString& text) override { sckClient_Error(number, text); }
    void socketClosed() override { sckClient_Close(); }

private:
    void timedOut();
    void reportOpening(bool opening);
    void resumeTimers();
    void stopTimers();
    void restartReplyTimer();

    ISocket& mSocket;
    UpdateConversation& mConversation;
    ConversationHost& mHost;
    IWindowing& mWindowing;
    QTimer mReplyTimer;
    QTimer mLimitTimer;
    int mTimeoutMs = kDefaultTimeoutMs;
    int mLimitMs = kDefaultLimitMs;
    int mLimitLeftMs = 0;
    int mOpenReports = 0;
    bool mConnected = false;
};
