#include "update/ConversationControl.h"

#include "app/Identity.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "update/ActivityLog.h"
#include "update/ConversationHost.h"
#include "update/UpdateConversation.h"

#include <QScopedValueRollback>

#include <algorithm>

namespace {

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0);
}

} // namespace

ConversationControl::ConversationControl(ISocket& socket, UpdateConversation& conversation,
                                         ConversationHost& host, IWindowing& windowing)
    : mSocket(socket), mConversation(conversation), mHost(host), mWindowing(windowing)
{
    mReplyTimer.setSingleShot(true);
    mLimitTimer.setSingleShot(true);
    connect(&mReplyTimer, &QTimer::timeout, this, &ConversationControl::timedOut);
    connect(&mLimitTimer, &QTimer::timeout, this, &ConversationControl::tookTooLong);
    mConversation.setFinishedHandler([this] { conversationFinished(); });
    // An error report runs an event loop of its own; no time-out may end the conversation
    // under it, while the user reads the report.
    mWindowing.setReportWatcher([this](bool opening) { reportOpening(opening); });
}

ConversationControl::~ConversationControl()
{
    mWindowing.setReportWatcher({});
}

void ConversationControl::mnuFileUpdateIP_Click()
{
    trap(mWindowing, "mnuFileUpdateIP_Click",
         [&] { begin(Operation::Update, identity::kTitle + QStringLiteral(" - Updating IP")); });
}

void ConversationControl::mnuFileGoOffline_Click()
{
    trap(mWindowing, "mnuFileGoOffline_Click",
         [&] { begin(Operation::Offline, identity::kTitle + QStringLiteral(" - Going Offline")); });
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
    if (mConversation.isRunning() || mFetchingPassword) {
        mUpdateWaiting = true;
        return;
    }
    mnuFileUpdateIP_Click();
}

void ConversationControl::begin(Operation operation, const QString& tip)
{
    // The password first: without it nothing is sent. The keyring may take a while, with the
    // event loop running; no second conversation starts meanwhile, and none at all once the
    // settings have gone (the program is ending).
    if (mFetchingPassword)
        return;
    {
        const QScopedValueRollback fetching(mFetchingPassword, true);
        if (!gSettings.fetchPassword())
            return;
    }
    const QString server = gSettings->Server();
    const qint32 port = gSettings->Port();
    mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Connecting to ") + server + QLatin1Char(':') +
                                         QString::number(port) + QStringLiteral("...")));
    mConversation.start(operation);
    mHost.EnableMenus(false);
    mHost.setTrayTip(tip);
    mConnected = false;
    startTimers();
    mSocket.connectToHost(server, port);
}

void ConversationControl::sckClient_Connect()
{
    trap(mWindowing, "sckClient_Connect", [&] {
        mConnected = true;
        restartReplyTimer();
        mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Connected.")));
    });
}

void ConversationControl::socketDataArrival(qint64 bytesTotal)
{
    restartReplyTimer();
    mConversation.sckClient_DataArrival(bytesTotal);
}

void ConversationControl::sckClient_Error(int /*number*/, const QString& description)
{
    trap(mWindowing, "sckClient_Error", [&] {
        stopTimers();
        mConversation.endAfterError(description);
    });
}

void ConversationControl::sckClient_Close()
{
    // A close without "BYE" ends the conversation as a socket error does.
    trap(mWindowing, "sckClient_Close", [&] { mConversation.handleServerClose(); });
}

void ConversationControl::cutOff(const QString& reason)
{
    stopTimers();
    mUpdateWaiting = false;
    mConversation.cutOff(reason);
}

void ConversationControl::timedOut()
{
    if (!mConversation.isRunning())
        return;
    if (!mConnected) {
        sckClient_Error(0, QStringLiteral("The connection did not open within ") + seconds(mTimeoutMs) +
                               QStringLiteral(" seconds"));
        return;
    }
    // Text that is not a reply is no silence: what came is said, so that a wrong server or a
    // broken one is told from one that is slow.
    const QString unreplied = mConversation.unrepliedText();
    sckClient_Error(0, unreplied.isEmpty() ? QStringLiteral("The server sent nothing for ") +
                                                 seconds(mTimeoutMs) + QStringLiteral(" seconds")
                                           : QStringLiteral("The server sent ") + unreplied +
                                                 QStringLiteral(", then nothing for ") + seconds(mTimeoutMs) +
                                                 QStringLiteral(" seconds"));
}

void ConversationControl::tookTooLong()
{
    if (!mConversation.isRunning())
        return;
    sckClient_Error(0, QStringLiteral("The conversation took longer than ") + seconds(mLimitMs) +
                           QStringLiteral(" seconds"));
}

void ConversationControl::conversationFinished()
{
    stopTimers();
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

void ConversationControl::reportOpening(bool opening)
{
    if (opening) {
        if (mOpenReports++ == 0 && mLimitTimer.isActive()) {
            mLimitLeftMs = mLimitTimer.remainingTime();
            mReplyTimer.stop();
            mLimitTimer.stop();
        }
        return;
    }
    if (mOpenReports > 0 && --mOpenReports == 0)
        resumeTimers();
}

void ConversationControl::startTimers()
{
    mLimitLeftMs = mLimitMs;
    resumeTimers();
}

// After a report the server gets its full reply time again, and the conversation what was
// left of its limit.
void ConversationControl::resumeTimers()
{
    if (mOpenReports > 0 || !mConversation.isRunning())
        return;
    mReplyTimer.start(mTimeoutMs);
    mLimitTimer.start(std::max(mLimitLeftMs, 0));
}

void ConversationControl::stopTimers()
{
    mReplyTimer.stop();
    mLimitTimer.stop();
    mLimitLeftMs = 0;
}

void ConversationControl::restartReplyTimer()
{
    if (mOpenReports == 0 && mConversation.isRunning())
        mReplyTimer.start(mTimeoutMs);
}
