#include "monitor/ConnectionMonitor.h"

#include "monitor/basDialupNetworking.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "update/ActivityLog.h"
#include "update/LogSink.h"
#include "update/UpdateStarter.h"

ConnectionMonitor::ConnectionMonitor(IDialup& dialup, LogSink& log, UpdateStarter& updates,
                                     IWindowing& windowing)
    : mDialup(dialup), mLog(log), mUpdates(updates), mWindowing(windowing)
{
}

void ConnectionMonitor::tmrConnectionMonitor_Timer()
{
    // An error report runs a nested event loop in which the timer goes on firing: while the
    // report of a tick is open, no further tick starts, so a failing probe shows one box.
    if (mTickRunning)
        return;
    mTickRunning = true;
    trap(mWindowing, "tmrConnectionMonitor_Timer", [&] { tick(); });
    mTickRunning = false;
}

void ConnectionMonitor::tick()
{
    if (!gSettings->UpdateOnConnection())
        return;
    if (basDialupNetworking::IsDialupConnected(mDialup)) {
        if (mConnectionDetected)
            return;
        mConnectionDetected = true;
        mLog.AppendLog(ActivityLog::stamped(QStringLiteral(" - Internet connection detected.")));
        mUpdates.requestUpdate();
    } else {
        if (!mConnectionDetected)
            return;
        mLog.AppendLog(ActivityLog::stamped(QStringLiteral(" - Internet connection no longer detected.")));
        mConnectionDetected = false;
    }
}
