#include "monitor/ConnectionMonitor.h"

#include "monitor/basDialupNetworking.h"
#include "platform/Trap.h"
#include "update/ConversationText.h"
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
    const bool connected = basDialupNetworking::IsDialupConnected(mDialup);
    if (connected == mConnectionDetected)
        return;
    mConnectionDetected = connected;
    mLog.AppendLog(ConversationText::entry(connected
                                               ? QStringLiteral("Internet connection detected.")
                                               : QStringLiteral("Internet connection no longer detected.")));
    if (connected)
        mUpdates.requestUpdate();
}
