#pragma once

#include "address/AddressFinder.h"
#include "history/HistoryRecorder.h"
#include "session/SessionHost.h"
#include "session/UpdateSession.h"
#include "update/ConsoleLog.h"
#include "update/LogEntry.h"
#include "update/UpdateStarter.h"
#include "watch/PostPacing.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSet>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CSettings;
class IAddressLookup;
class IAddressWatch;
class IAlarm;
class IClock;
class IDialup;
class ISecretStore;
class ISettingsStore;
class ISocket;
class IWindowing;

// How long the watcher waits, and for what; tests shorten the waits.
struct WatcherTiming
{
    // Days after which an unchanged address is posted again, unless told otherwise: providers
    // retire a name that has not been updated for a month.
    static constexpr int kRefreshDays = 25;

    // After a try with no conversation: the first pause, doubled after each such try up to the
    // longest, with a little jitter.
    std::chrono::milliseconds firstRetry{std::chrono::minutes(1)};
    std::chrono::milliseconds longestRetry{std::chrono::minutes(30)};
    // The same address is posted again once this much time has passed since it was.
    std::chrono::milliseconds refresh{std::chrono::hours(24 * kRefreshDays)};
    // How often the settings file is looked at for a change.
    std::chrono::milliseconds settingsCheck{std::chrono::seconds(2)};
    // How often the router is asked again with nothing heard from it: its announcements travel
    // once over UDP and can be lost.
    std::chrono::milliseconds routerAgain{std::chrono::minutes(10)};
};

// Keeps the host's name pointing at this machine without a window: posts an update at start,
// when the address to post changes, when a point-to-point link comes up (if the settings ask for
// it), when the last accepted update grows older than the refresh interval, and when asked
// (postNow). It never posts the same address twice in a row within the refresh interval, never
// an address others cannot reach, spaces its posts (PostPacing), waits longer and longer after
// failed tries and does not try again after a refusal until what the login depends on changes
// or it is asked to. Every check asked for is answered, whatever else runs at the same moment.
// Every wait is an alarm of the clock.
class Watcher : public QObject, public SessionHost, public UpdateStarter
{
    Q_OBJECT
public:
    struct Services
    {
        ISocket& socket;
        ISettingsStore& store;
        ISecretStore& secrets;
        IDialup& dialup;
        IAddressWatch& addresses;
        // Asked for the address the world sees, when the connection's is private.
        IRouter& router;
        IAddressLookup& lookup;
        IWindowing& windowing;
        IClock& clock;
        // Reads the history, and adds the watcher's conversations to it.
        const HistoryRecorder& history;
        // What changes when the settings file changes.
        std::function<QByteArray()> settingsStamp;
        QString settingsFile;
        // Told, in a line, what the watcher last did: for the service manager's status.
        std::function<void(const QString&)> status = [](const QString&) {};
    };

    Watcher(const Services& services, const ConsoleLog& log, const WatcherTiming& timing = {});
    ~Watcher() override;

    // Loads the settings and starts watching. False, having said why, when a setting cannot be
    // read: the watcher then does nothing.
    bool start();
    // Cuts off a running conversation (recording it as cut off) and stops every wait.
    void stop();

    // SIGUSR1: posts the current address, even an unchanged one, and ends the wait after a
    // refusal. However often it comes while a post runs or waits its turn, one post answers it.
    void postNow();
    // SIGHUP, or a change of the settings file: reads the settings again; when one cannot be
    // read, the last good settings stay.
    void rereadSettings();

    void requestUpdate() override { check(LinkUp); } // a point-to-point link came up
    void AppendLog(const QString& text) override { mLog.entry(text); }
    void AppendError(const QString& text) override { mLog.error(text); }
    bool conversationEnded(const ConversationResult& result) override;
    void passwordUnavailable(const Failure& failure, Operation operation) override;

    bool conversationRunning() const { return mSession.isRunning(); }
    bool waitingAfterRefusal() const { return mRefused; }
    std::chrono::milliseconds nextRetry() const { return mNextRetry; }

private:
    // Why an address is looked for; several may be answered by one look.
    enum Reason : unsigned {
        Start = 1u << 0,
        AddressChange = 1u << 1,
        LinkUp = 1u << 2,
        Refresh = 1u << 3,
        Retry = 1u << 4,
        Settings = 1u << 5,
        Asked = 1u << 6,
        TurnCame = 1u << 7,    // a post that waited for its turn may go now
        RouterAgain = 1u << 8, // the router said its address changed, or it is time to ask it again
    };
    using Reasons = unsigned;

    void check(Reasons reasons);
    void lookUp();
    void answered(const AddressChoice& choice);
    void decide(Reasons reasons, const AddressChoice& choice);
    // Says what the choice says of the network (a fallback, carrier-grade NAT), once per change.
    void sayOfNetwork(const AddressChoice& choice);
    // The newest step the server accepted for the host: from the history, or from this
    // watcher's own memory when that is newer or the history cannot be read.
    std::optional<HistoryEntry> lastAcceptedStep(const QString& host);
    void post(const AddressChoice& choice);
    void notStarted();
    // The settings as the file holds them now; none, having said why, when they cannot be read.
    // Read again, they must name a user or a host.
    std::unique_ptr<CSettings> readSettings(bool again) const;
    void addressesChanged();
    void scheduleRefresh(const QDateTime& lastPosted);
    void scheduleRetry();
    // What a login with the settings is sent with, as a digest, through done; empty when the
    // password cannot be known now.
    void loginDigest(const CSettings& settings, std::function<void(const QByteArray&)> done) const;
    void say(const QString& message) const { mLog.entry(LogEntry::stamped(message)); }
    // Says it unless it was the last thing said of the address.
    void sayOnce(const QString& message);

    Services mServices;
    ConsoleLog mLog;
    WatcherTiming mTiming;
    std::unique_ptr<CSettings> mSettings; // the last that could be read; none once stopped
    UpdateSession mSession;
    AddressFinder mFinder;
    std::unique_ptr<IAlarm> mMonitorAlarm;
    std::unique_ptr<IAlarm> mSettingsAlarm;
    std::unique_ptr<IAlarm> mRefreshAlarm;
    std::unique_ptr<IAlarm> mRetryAlarm;
    std::unique_ptr<IAlarm> mTurnAlarm;   // a post waits for its turn
    std::unique_ptr<IAlarm> mAnswerAlarm; // checks asked for during a conversation, after it
    std::unique_ptr<IAlarm>
        mRouterAlarm; // the router is asked again now and then: its announcements can be lost
    PostPacing mPacing;
    QByteArray mSettingsStamp;
    QString mAddress;                         // the address last found to post, kept while none can be found
    std::optional<HistoryEntry> mOwnLastStep; // the last step accepted in this watcher's conversations
    QString mLastSaid;                        // the last message said about the address to post
    QString mHistoryComplaint;                // the last thing said about a history that cannot be read
    QSet<QString> mWarned;                    // private addresses warned about
    QString mNetworkSaid;                     // the last thing said of the network
    Reasons mAsked = 0;                       // checks asked for and not yet answered
    Reasons mUnanswered = 0;                  // checks that found no address, answered by the next that does
    bool mLookupRunning = false;
    bool mStarting = false; // inside the session's start
    bool mForced = false;   // a post was asked for (SIGUSR1) and has not started yet
    bool mRefused = false;
    QByteArray mRefusedLogin; // what the refused login was sent with
    std::chrono::milliseconds mNextRetry{0};
};
