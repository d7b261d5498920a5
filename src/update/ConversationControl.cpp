#include "update/ConversationControl.h"

#include "platform/Trap.h"
#include "update/ConversationText.h"
#include "update/UpdateConversation.h"

#include <algorithm>

namespace {

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0) + QStringLiteral(" seconds");
}

} // namespace

ConversationControl::ConversationControl(ISocket& socket, UpdateConversation& conversation,
                                         ConversationHost& host, IWindowing& windowing)
    : mSocket(socket), mConversation(conversation), mHost(host), mWindowing(windowing)
{
    mReplyTimer.setSingleShot(true);
    mLimitTimer.setSingleShot(true);
    connect(&mReplyTimer, &QTimer::timeout, this, &ConversationControl::timedOut);
    connect(&mLimitTimer, &QTimer::timeout, this, [this] {
        if (mConversation.isRunning())
            sckClient_Error(0, QStringLiteral("The conversation took longer than ") + seconds(mLimitMs));
    });
    mConversation.setFinishedHandler([this] {
        stopTimers();
        mConnected = false;
    });
    // An error report runs an event loop of its own; no time-out may end the conversation
    // under it, while the user reads the report.
    mWindowing.setReportWatcher([this](bool opening) { reportOpening(opening); });
}

ConversationControl::~ConversationControl()
{
    mWindowing.setReportWatcher({});
}

void ConversationControl::start(const UpdateRequest& request)
{
    mHost.AppendLog(ConversationText::entry(QStringLiteral("Connecting to ") + request.server +
                                            QLatin1Char(':') + QString::number(request.port) +
                                            QStringLiteral("...")));
    mConversation.start(request);
    mHost.conversationStarted(request.operation);
    mConnected = false;
    mLimitLeftMs = mLimitMs;
    resumeTimers();
    mSocket.connectToHost(request.server, request.port);
}

void ConversationControl::sckClient_Connect()
{
    trap(mWindowing, "sckClient_Connect", [&] {
        mConnected = true;
        restartReplyTimer();
        mHost.AppendLog(ConversationText::entry(QStringLiteral("Connected.")));
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
    trap(mWindowing, "sckClient_Close", [&] { mConversation.handleServerClose(); });
}

void ConversationControl::cutOff(const QString& reason)
{
    stopTimers();
    mConversation.cutOff(reason);
}

void ConversationControl::timedOut()
{
    if (!mConversation.isRunning())
        return;
    if (!mConnected)
        return sckClient_Error(0,
                               QStringLiteral("The connection did not open within ") + seconds(mTimeoutMs));
    // Text that is not a reply is no silence: what came is said, so that a wrong server or a
    // broken one is told from one that is slow.
    const QString unreplied = mConversation.unrepliedText();
    sckClient_Error(0, QStringLiteral("The server sent ") +
                           (unreplied.isEmpty() ? QString() : unreplied + QStringLiteral(", then ")) +
                           QStringLiteral("nothing for ") + seconds(mTimeoutMs));
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
