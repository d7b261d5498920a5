#pragma once

#include "history/HistoryRecorder.h"
#include "session/SessionHost.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"
#include "update/UpdateRequest.h"

#include <QObject>

#include <functional>
#include <memory>

class AddressFinder;
struct AddressChoice;
class ConnectionMonitor;
class IDialup;
class ISecretStore;
class ISocket;
class IWindowing;
class UpdateStarter;

// One conversation at a time for whoever runs it: reads the password from the keyring when the
// request asks for it, runs the conversation over the socket under its control, records each one
// in the history, and watches for point-to-point links coming up (with someone to tell).
class UpdateSession : public QObject, private ConversationHost
{
    Q_OBJECT
public:
    struct Services
    {
        ISocket& socket;
        ISecretStore& secrets;
        IWindowing& windowing;
        const HistoryRecorder& history;
        // Chooses what "Current IP" posts; none: the connection's own address, always.
        AddressFinder* finder;
    };

    UpdateSession(const Services& services, SessionHost& host);
    ~UpdateSession() override;

    // From now on each tick looks at the point-to-point links, and tells starter when one
    // comes up.
    void watchLinks(IDialup& dialup, UpdateStarter& starter);

    // Starts a conversation for the request, unless one runs or is starting.
    void start(const UpdateRequest& request);
    // An update asked for by someone who is not the user: started at once when no conversation
    // runs, otherwise once the running one has ended (at most one waits). The request is made
    // when it starts.
    void requestUpdate(std::function<UpdateRequest()> request);
    bool updateWaiting() const { return static_cast<bool>(mWaiting); }
    // Cuts a running conversation off without a word in the log; the history records why.
    void cutOff(const QString& reason);
    // One look at the point-to-point links, when the settings want them watched.
    void tick(bool watchLinks);

    bool isRunning() const { return mConversation.isRunning(); }
    // The keyring is asked for the password of a conversation about to start.
    bool isStarting() const { return mStarting; }
    // The command a conversation for the operation is started from, as error reports name it.
    static const char* procedure(Operation operation);
    // The request the last conversation ran, with the password it sent.
    const UpdateRequest& lastRequest() const { return mLastRequest; }

    UpdateConversation& conversation() { return mConversation; }
    ConversationControl& control() { return mControl; }
    ConnectionMonitor* monitor() { return mMonitor.get(); }

private:
    // With the password known: chooses the address, where the request leaves it to the finder.
    void begin(const UpdateRequest& request);
    void chosen(UpdateRequest request, const AddressChoice& choice);
    void converse(const UpdateRequest& request);

    void AppendLog(const QString& text) override { mHost.AppendLog(text); }
    void AppendError(const QString& text) override { mHost.AppendError(text); }
    void conversationStarted(Operation operation) override { mHost.conversationStarted(operation); }
    void stepAccepted(const ConversationResult& result) override { mServices.history.record(result); }
    void conversationCutOff(const ConversationResult& result) override { mServices.history.ended(result); }
    bool conversationEnded(const ConversationResult& result) override;

    Services mServices;
    SessionHost& mHost;
    UpdateConversation mConversation;
    ConversationControl mControl;
    std::unique_ptr<ConnectionMonitor> mMonitor;
    UpdateRequest mLastRequest;
    std::function<UpdateRequest()> mWaiting;
    bool mStarting = false;
    quint64 mCutOffs = 0; // a start that waited (keyring, address) goes no further once cut off
};
