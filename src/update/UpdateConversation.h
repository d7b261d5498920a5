#pragma once

#include "update/ConversationHost.h"
#include "update/ConversationText.h"
#include "update/ReceiveBuffer.h"
#include "update/UpdateRequest.h"

#include <QString>

#include <functional>

class ISocket;
class IWindowing;

// The client side of the update protocol: each "OK" from the server advances one step and
// sends the next line; "BYE" ends the conversation. A conversation ends exactly once.
class UpdateConversation
{
public:
    static constexpr qint16 kMaxStep = 32767;
    // Replies that move nothing forward ("ERR", unknown words, empty lines, "OK" after the
    // last step) that a server may send in a row before the conversation is given up.
    static constexpr int kMaxRepliesWithoutProgress = 1000;

    UpdateConversation(ISocket& socket, ConversationHost& host, IWindowing& windowing);

    // A new conversation for the request: nothing of an earlier one is carried over.
    void start(const UpdateRequest& request);
    bool isRunning() const { return mRunning; }

    void sckClient_DataArrival(qint64 bytesTotal);
    // The server closed the connection: what it sent last is handled as a last line.
    void handleServerClose();
    // Ends the conversation as after a socket error with this description.
    void endAfterError(const QString& description);
    // Ends it without a word in the log (the window is going away, the address went away); a
    // reason makes it known to the host as a conversation cut off for that reason.
    void cutOff(const QString& reason = QString());

    // What the server sent since its last reply that was not one (lines without a reply word,
    // the start of a line it never ended), shown bounded and with control characters made
    // visible; empty when it sent nothing else.
    QString unrepliedText() const;

    // Called whenever a conversation has ended and the program goes on.
    void setFinishedHandler(std::function<void()> handler) { mFinished = std::move(handler); }

    // What has arrived and not yet been read, in pieces of at most 64 KiB.
    QString GetSocketData();
    void SendSocketData(const QString& text);

    ::Operation operation() const { return mRequest.operation; }
    qint16 ConversationStep() const { return mStep; }

private:
    void handleLine(const QString& line);
    void readAndHandle();
    void handleLines();
    void actOnStep(const QString& replyText);
    // Sends the command and the value, unless the value would break the line.
    void sendWithValue(const QString& command, const QString& value, const QString& valueName);
    // The address to post, or why it may not be: the connection may have gone out another way
    // than the one that was checked (the server's next address, another family).
    QString postedAddress(QString& refusal) const;
    void accept();
    void log(const QString& words) { mHost.AppendLog(ConversationText::entry(words)); }
    void logError(const QString& description)
    {
        mHost.AppendError(ConversationText::entry(ConversationText::error(description)));
    }
    void finish(bool afterBye);

    ISocket& mSocket;
    ConversationHost& mHost;
    IWindowing& mWindowing;
    std::function<void()> mFinished;

    ReceiveBuffer mReceiveBuffer;
    UpdateRequest mRequest;
    qint16 mStep = 0;
    bool mRunning = false;
    int mRepliesWithoutProgress = 0;
    int mLinesWithoutReplyWord = 0; // since the last line that had one
    QString mLastLineWithoutReplyWord;
    ConversationResult mResult;
};
