#include "session/UpdateSession.h"

#include "address/AddressFinder.h"
#include "monitor/ConnectionMonitor.h"
#include "platform/ISocket.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "update/ConversationText.h"

#include <QPointer>
#include <QTimer>

UpdateSession::UpdateSession(const Services& services, SessionHost& host)
    : mServices(services), mHost(host), mConversation(services.socket, *this, services.windowing),
      mControl(services.socket, mConversation, *this, services.windowing)
{
    mServices.socket.setListener(&mControl);
}

void UpdateSession::watchLinks(IDialup& dialup, UpdateStarter& starter)
{
    mMonitor = std::make_unique<ConnectionMonitor>(dialup, mHost, starter, mServices.windowing);
}

UpdateSession::~UpdateSession()
{
    mServices.socket.setListener(nullptr);
}

const char* UpdateSession::procedure(Operation operation)
{
    return operation == Operation::Update ? "mnuFileUpdateIP_Click" : "mnuFileGoOffline_Click";
}

void UpdateSession::start(const UpdateRequest& request)
{
    trap(mServices.windowing, procedure(request.operation), [&] {
        // While the keyring is asked for the password, no second conversation starts.
        if (mStarting || mConversation.isRunning())
            return;
        if (request.keyringAccount.isEmpty())
            return begin(request);
        mStarting = true;
        CSettings::readPassword(mServices.secrets, request.keyringAccount,
                                [self = QPointer(this), request, cutOffs = mCutOffs](
                                    const QString& password, const std::optional<Failure>& failure) {
                                    // Cut off meanwhile (the program ends): nothing more comes of it.
                                    if (!self || cutOffs != self->mCutOffs)
                                        return;
                                    self->mStarting = false;
                                    if (failure)
                                        return self->mHost.passwordUnavailable(*failure, request.operation);
                                    UpdateRequest withPassword = request;
                                    withPassword.password = password;
                                    trap(self->mServices.windowing, procedure(request.operation),
                                         [&] { self->begin(withPassword); });
                                });
    });
}

void UpdateSession::begin(const UpdateRequest& request)
{
    // The connection's address is found first too: over IPv6 the conversation would post the
    // temporary address it goes out from, where the interface's stable one is meant.
    if (!mServices.finder || request.operation != Operation::Update || request.address)
        return converse(request);
    mStarting = true;
    mServices.finder->find(request.addressFrom, request.server, static_cast<quint16>(request.port),
                           AddressFinder::Fresh::All,
                           [self = QPointer(this), request, cutOffs = mCutOffs](const AddressChoice& choice) {
                               if (!self || cutOffs != self->mCutOffs)
                                   return;
                               self->mStarting = false;
                               trap(self->mServices.windowing, procedure(request.operation),
                                    [&] { self->chosen(request, choice); });
                           });
}

void UpdateSession::chosen(UpdateRequest request, const AddressChoice& choice)
{
    for (const QString& line : {choice.unreachable, choice.fallback}) {
        if (!line.isEmpty())
            mHost.AppendLog(ConversationText::entry(line));
    }
    // A server that cannot be reached is told as the conversation tells it.
    if (choice.address.isEmpty() && mServices.finder->readings().connectionProblem.isEmpty()) {
        mLastRequest = request;
        ConversationResult result;
        result.host = request.host;
        result.failure = choice.problem;
        mHost.AppendError(ConversationText::entry(ConversationText::error(choice.problem)));
        conversationEnded(result);
        return;
    }
    // An IPv6 connection address is named too: the conversation's own would be the temporary
    // address it goes out from, not the stable one chosen.
    if (choice.named())
        request.address = choice.address;
    converse(request);
}

void UpdateSession::converse(const UpdateRequest& request)
{
    mLastRequest = request;
    mControl.start(request);
}

void UpdateSession::requestUpdate(std::function<UpdateRequest()> request)
{
    // A running conversation, an offline one above all, must not be turned into an update
    // halfway; the new link's address is posted once it has ended.
    if (mConversation.isRunning() || mStarting) {
        mWaiting = std::move(request);
        return;
    }
    UpdateRequest made;
    if (trap(mServices.windowing, procedure(Operation::Update), [&] { made = request(); }))
        start(made);
}

void UpdateSession::cutOff(const QString& reason)
{
    ++mCutOffs;
    mStarting = false;
    mWaiting = {};
    mControl.cutOff(reason);
}

void UpdateSession::tick(bool watchLinks)
{
    if (mMonitor)
        mMonitor->tick(watchLinks);
}

bool UpdateSession::conversationEnded(const ConversationResult& result)
{
    mServices.history.ended(result);
    if (!mHost.conversationEnded(result))
        return false;
    if (mWaiting) {
        // Started from the event loop, not from inside the handler that ended the last one.
        QTimer::singleShot(0, this, [this] {
            if (!mConversation.isRunning() && mWaiting)
                requestUpdate(std::exchange(mWaiting, {}));
        });
    }
    return true;
}
