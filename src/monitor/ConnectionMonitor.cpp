#include "monitor/ConnectionMonitor.h"

#include "monitor/basDialupNetworking.h"
#include "platform/Trap.h"
#include "update/ConversationText.h"
#include "update/LogEntry.h"
#include "update/LogSink.h"
#include "update/UpdateStarter.h"

ConnectionMonitor::ConnectionMonitor(IDialup& dialup, LogSink& log, UpdateStarter& updates,
                                     IWindowing& windowing)
    : mDialup(dialup), mLog(log), mUpdates(updates), mWindowing(windowing)
{
}

void ConnectionMonitor::tick(bool watchLinks)
{
    // An error report runs a nested event loop in which the timer goes on firing: while the
    // report of a tick is open, no further tick starts, so a failing probe shows one box.
    if (mTickRunning || !watchLinks)
        return;
    mTickRunning = true;
    trap(mWindowing, "tmrConnectionMonitor_Timer", [&] { look(); });
    mTickRunning = false;
}

void ConnectionMonitor::look()
{
    if (basDialupNetworking::IsDialupConnected(mDialup)) {
        if (mConnectionDetected)
            return;
        mConnectionDetected = true;
        mLog.AppendLog(
            LogEntry::stamped(ConversationText::line(QStringLiteral("Internet connection detected."))));
        mUpdates.requestUpdate();
    } else {
        if (!mConnectionDetected)
            return;
        mLog.AppendLog(LogEntry::stamped(
            ConversationText::line(QStringLiteral("Internet connection no longer detected."))));
        mConnectionDetected = false;
    }
}
