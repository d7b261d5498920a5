#pragma once

#include "update/ReceiveBuffer.h"

#include <QString>

#include <functional>

class ConversationHost;
class ISocket;
class IWindowing;

// The client side of the update protocol: each "OK" from the server advances one step and
// sends the next line; "BYE" ends the conversation.
class UpdateConversation
{
public:
    static constexpr qint16 kMaxStep = 32767;

    UpdateConversation(ISocket& socket, ConversationHost& host, IWindowing& windowing);

    // A new conversation: nothing of an earlier one is carried over.
    void start(const QString& operation);
    bool isRunning() const { return mRunning; }

    void sckClient_DataArrival(qint64 bytesTotal);
    // The server closed the connection: what it sent last is handled as a last line.
    void handleServerClose();
    // Ends the conversation as after a socket error with this description.
    void endAfterError(const QString& description);

    // Called whenever a conversation has ended and the program goes on.
    void setFinishedHandler(std::function<void()> handler) { mFinished = std::move(handler); }

    // What has arrived and not yet been read, in pieces of at most 64 KiB.
    QString GetSocketData();
    void SendSocketData(const QString& text);

    const QString& Operation() const { return mOperation; }
    qint16 ConversationStep() const { return mStep; }

private:
    // Returns false once the conversation has ended.
    bool handleLine(const QString& line);
    void readAndHandle();
    void handleLines();
    void actOnStep(const QString& replyText);
    QString postedAddress() const;
    QString hostName() const;
    void finish(bool afterBye);

    ISocket& mSocket;
    ConversationHost& mHost;
    IWindowing& mWindowing;
    std::function<void()> mFinished;

    ReceiveBuffer mReceiveBuffer;
    QString mOperation;
    qint16 mStep = 0;
    bool mRunning = false;
};
