#include "update/ConversationControl.h"

#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "update/ActivityLog.h"
#include "update/ConversationHost.h"
#include "update/UpdateConversation.h"

ConversationControl::ConversationControl(ISocket& socket, UpdateConversation& conversation,
                                         ConversationHost& host, IWindowing& windowing)
    : mSocket(socket), mConversation(conversation), mHost(host), mWindowing(windowing)
{
    mWatchdog.setSingleShot(true);
    connect(&mWatchdog, &QTimer::timeout, this, &ConversationControl::timedOut);
    mConversation.setFinishedHandler([this] { conversationFinished(); });
}

void ConversationControl::mnuFileUpdateIP_Click()
{
    trap(mWindowing, "mnuFileUpdateIP_Click",
         [&] { begin(QStringLiteral("update"), QStringLiteral("Corvane DynDNS - Updating IP")); });
}

void ConversationControl::mnuFileGoOffline_Click()
{
    trap(mWindowing, "mnuFileGoOffline_Click",
         [&] { begin(QStringLiteral("delete"), QStringLiteral("Corvane DynDNS - Going Offline")); });
}

void ConversationControl::mnuContextUpdateIP_Click()
{
    trap(mWindowing, "mnuContextUpdateIP_Click", [&] { mnuFileUpdateIP_Click(); });
}

void ConversationControl::mnuContextGoOffline_Click()
{
    trap(mWindowing, "mnuContextGoOffline_Click", [&] { mnuFileGoOffline_Click(); });
}

void ConversationControl::requestUpdate()
{
    // A running conversation, an offline one above all, must not be turned into an update
    // halfway; the new link's address is posted once it has ended.
    if (mConversation.isRunning()) {
        mUpdateWaiting = true;
        return;
    }
    mnuFileUpdateIP_Click();
}

void ConversationControl::begin(const QString& operation, const QString& tip)
{
    const QString server = gSettings->Server();
    const qint32 port = gSettings->Port();
    mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Connecting to ") + server + QLatin1Char(':') +
                                         QString::number(port) + QStringLiteral("...")));
    mConversation.start(operation);
    mHost.EnableMenus(false);
    mHost.setTrayTip(tip);
    mConnected = false;
    mWatchdog.start(mTimeoutMs);
    mSocket.connectToHost(server, port);
}

void ConversationControl::sckClient_Connect()
{
    trap(mWindowing, "sckClient_Connect", [&] {
        mConnected = true;
        mWatchdog.start(mTimeoutMs);
        mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Connected.")));
    });
}

void ConversationControl::socketDataArrival(qint64 bytesTotal)
{
    if (mConversation.isRunning())
        mWatchdog.start(mTimeoutMs);
    mConversation.sckClient_DataArrival(bytesTotal);
}

void ConversationControl::sckClient_Error(int /*number*/, const QString& description)
{
    trap(mWindowing, "sckClient_Error", [&] {
        mWatchdog.stop();
        mConversation.endAfterError(description);
    });
}

void ConversationControl::sckClient_Close()
{
    // A close without "BYE" ends the conversation as a socket error does.
    trap(mWindowing, "sckClient_Close", [&] { mConversation.handleServerClose(); });
}

void ConversationControl::timedOut()
{
    if (!mConversation.isRunning())
        return;
    const QString seconds = QString::number(mTimeoutMs / 1000.0);
    const QString description =
        mConnected
            ? QStringLiteral("The server sent nothing for ") + seconds + QStringLiteral(" seconds")
            : QStringLiteral("The connection did not open within ") + seconds + QStringLiteral(" seconds");
    sckClient_Error(0, description);
}

void ConversationControl::conversationFinished()
{
    mWatchdog.stop();
    mConnected = false;
    if (mUpdateWaiting) {
        mUpdateWaiting = false;
        // Started from the event loop, not from inside the handler that ended the last one.
        QTimer::singleShot(0, this, [this] {
            if (!mConversation.isRunning())
                mnuFileUpdateIP_Click();
        });
    }
}
