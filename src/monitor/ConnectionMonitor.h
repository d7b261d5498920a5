#pragma once

class ConversationControl;
class ConversationHost;
class IDialup;
class IWindowing;

// Each tick of the monitor's timer asks the dial-up probe whether a connection is up and,
// on a change, logs it; a connection that comes up starts an update.
class ConnectionMonitor
{
public:
    ConnectionMonitor(IDialup& dialup, ConversationHost& host, ConversationControl& control,
                      IWindowing& windowing);

    void tmrConnectionMonitor_Timer();

    bool ConnectionDetected() const { return mConnectionDetected; }

private:
    void tick();

    IDialup& mDialup;
    ConversationHost& mHost;
    ConversationControl& mControl;
    IWindowing& mWindowing;
    bool mConnectionDetected = false;
    bool mTickRunning = false;
};
