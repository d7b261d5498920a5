#pragma once

#include "history/History.h"
#include "update/ConsoleLog.h"
#include "update/ConversationControl.h"
#include "update/ConversationHost.h"
#include "update/UpdateConversation.h"
#include "update/UpdateStarter.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ConnectionMonitor;
class IAddressWatch;
class IDialup;
class ISecretStore;
class ISettingsStore;
class ISocket;
class IWindowing;

// How long the watcher waits, and for what; tests shorten the waits.
struct WatcherTiming
{
    // After a try with no conversation: the first pause, doubled after each such try up to the
    // longest, with a little jitter.
    std::chrono::milliseconds firstRetry{std::chrono::minutes(1)};
    std::chrono::milliseconds longestRetry{std::chrono::minutes(30)};
    // The same address is posted again once this much time has passed since it was.
    std::chrono::milliseconds refresh{std::chrono::hours(24 * 25)};
    // How often the settings file is looked at for a change.
    std::chrono::milliseconds settingsCheck{std::chrono::seconds(2)};
};

// Keeps the host's name pointing at this machine without a window: posts an update at start,
// when the address to post changes, when a point-to-point link comes up (if the settings ask for
// it), when the last accepted update grows older than the refresh interval, and when asked
// (postNow). It never posts the same address twice in a row within the refresh interval, never
// an address others cannot reach, waits longer and longer after failed tries and does not try
// again after a refusal until the settings change or it is asked to. Every wait is a timer of
// the event loop.
class Watcher : public QObject, public ConversationHost, public UpdateStarter
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
        IWindowing& windowing;
        const History& history;
        // Adds a finished conversation to the history.
        std::function<void(const ConversationResult&)> record;
        // What changes when the settings file changes.
        std::function<QByteArray()> settingsStamp;
        QString settingsFile;
        std::function<QDateTime()> now = &QDateTime::currentDateTimeUtc;
    };

    Watcher(const Services& services, const ConsoleLog& log, const WatcherTiming& timing = {});
    ~Watcher() override;

    // Loads the settings and starts watching. False, having said why, when a setting cannot be
    // read: the watcher then does nothing.
    bool start();
    // Cuts off a running conversation and stops every timer.
    void stop();

    // SIGUSR1: posts the current address at once, even an unchanged one, and ends the wait after
    // a refusal.
    void postNow();
    // SIGHUP, or a change of the settings file: reads the settings again; when one cannot be
    // read, the last good settings stay.
    void rereadSettings();

    void requestUpdate() override; // a point-to-point link came up
    void AppendLog(const QString& text) override { mLog.entry(text); }
    void AppendError(const QString& text) override { mLog.error(text); }
    void EnableMenus(bool) override {}
    void setTrayTip(const QString&) override {}
    bool conversationEnded(const ConversationResult& result) override;
    QString addressRefusal(const QString& address) const override;

    bool conversationRunning() const { return mConversation.isRunning(); }
    bool waitingAfterRefusal() const { return mRefused; }
    std::chrono::milliseconds nextRetry() const { return mNextRetry; }

private:
    enum class Reason { Start, AddressChange, LinkUp, Refresh, Retry, Settings, Asked };

    void check(Reason reason);
    // The newest step the server accepted for the host: from the history, or from this
    // watcher's own memory when that is newer or the history cannot be read.
    std::optional<HistoryEntry> lastAcceptedStep(const QString& host);
    void decide(Reason reason, const QString& address, const QString& problem);
    void post(const QString& address);
    void addressesChanged();
    void scheduleRefresh(const QDateTime& lastPosted);
    void scheduleRetry();
    void settingsMayHaveChanged();
    void say(const QString& message) const;
    // Says it unless it was the last thing said of the address.
    void sayOnce(const QString& message);

    Services mServices;
    ConsoleLog mLog;
    WatcherTiming mTiming;
    UpdateConversation mConversation;
    ConversationControl mControl;
    std::unique_ptr<ConnectionMonitor> mMonitor;
    QTimer mMonitorTimer;
    QTimer mRefreshTimer;
    QTimer mRetryTimer;
    QTimer mSettingsTimer;
    QByteArray mSettingsStamp;
    QString mAddress;                         // the address last found to post, kept while none can be found
    std::optional<HistoryEntry> mOwnLastStep; // the last step accepted in this watcher's conversations
    QString mPostingAddress;                  // the address of the conversation running, if one is
    QString mLastSaid;                        // the last message said about the address to post
    QString mHistoryComplaint;                // the last thing said about a history that cannot be read
    bool mPending = false;                    // a check was asked for while a conversation ran
    bool mPendingForced = false;
    bool mRefused = false;
    std::chrono::milliseconds mNextRetry{0};
};
