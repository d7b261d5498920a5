#pragma once

#include "app/Operation.h"
#include "update/ConversationHost.h"
#include "update/ReceiveBuffer.h"

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

    // The word the OPER line sends for the operation.
    static QString operationWord(Operation operation);

    // A new conversation: nothing of an earlier one is carried over.
    void start(Operation operation);
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

    ::Operation operation() const { return mOperation; }
    qint16 ConversationStep() const { return mStep; }

private:
    // Returns false once the conversation has ended.
    bool handleLine(const QString& line);
    void readAndHandle();
    void handleLines();
    void actOnStep(const QString& replyText);
    // Sends the command and the value, unless the value would break the line.
    void sendWithValue(const QString& command, const QString& value, const QString& valueName);
    int lastStep() const;
    QString postedAddress() const;
    QString hostName() const;
    void log(const QString& message);
    void finish(bool afterBye);

    ISocket& mSocket;
    ConversationHost& mHost;
    IWindowing& mWindowing;
    std::function<void()> mFinished;

    ReceiveBuffer mReceiveBuffer;
    ::Operation mOperation = Operation::Update;
    qint16 mStep = 0;
    bool mRunning = false;
    int mRepliesWithoutProgress = 0;
    int mLinesWithoutReplyWord = 0; // since the last line that had one
    QString mLastLineWithoutReplyWord;
    ConversationResult mResult;
};
