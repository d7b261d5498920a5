#pragma once

class IDialup;
class IWindowing;
class LogSink;
class UpdateStarter;

// Each tick of the monitor's timer asks the dial-up probe whether a connection is up and,
// on a change, logs it; a connection that comes up starts an update.
class ConnectionMonitor
{
public:
    ConnectionMonitor(IDialup& dialup, LogSink& log, UpdateStarter& updates, IWindowing& windowing);

    // One look, when the settings want links watched (UpdateOnConnection).
    void tick(bool watchLinks);

    bool ConnectionDetected() const { return mConnectionDetected; }

private:
    void look();

    IDialup& mDialup;
    LogSink& mLog;
    UpdateStarter& mUpdates;
    IWindowing& mWindowing;
    bool mConnectionDetected = false;
    bool mTickRunning = false;
};
