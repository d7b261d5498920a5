#include "watch/Watcher.h"

#include "app/Provider.h"
#include "history/History.h"
#include "monitor/ConnectionMonitor.h"
#include "platform/Failure.h"
#include "platform/IAddressWatch.h"
#include "platform/ISocket.h"
#include "settings/CSettings.h"
#include "settings/ScriptSettings.h"
#include "update/ActivityLog.h"
#include "watch/PostableAddress.h"

#include <QHostAddress>
#include <QRandomGenerator>

#include <algorithm>

namespace {

using std::chrono::milliseconds;

// A QTimer counts in int milliseconds: a longer wait is taken in pieces.
constexpr milliseconds kLongestTimer = std::chrono::hours(1);
constexpr int kMonitorIntervalMs = 1000;

QString hostName()
{
    return gSettings->SubDomain() + provider::kDomainSuffix;
}

// What an update depends on. A file saved again with the same values (the window does so at
// its end) is no change.
QStringList postingSettings(const CSettings& settings)
{
    return {settings.Server(),
            QString::number(settings.Port()),
            settings.Username(),
            settings.SubDomain(),
            QString::number(settings.Domain()),
            settings.CurrentIP() ? QString() : settings.OtherIP(),
            settings.passwordPlace() == PasswordPlace::File ? settings.Password()
                                                            : settings.passwordPlaceText()};
}

QString pause(milliseconds wait)
{
    const double seconds = static_cast<double>(wait.count()) / 1000;
    if (seconds < 120)
        return QString::number(seconds, 'f', seconds < 10 ? 1 : 0) + QStringLiteral(" seconds");
    return QString::number(seconds / 60, 'f', 0) + QStringLiteral(" minutes");
}

} // namespace

Watcher::Watcher(const Services& services, const ConsoleLog& log, const WatcherTiming& timing)
    : mServices(services), mLog(log), mTiming(timing),
      mConversation(services.socket, *this, services.windowing),
      mControl(services.socket, mConversation, *this, services.windowing),
      mMonitor(std::make_unique<ConnectionMonitor>(services.dialup, *this, *this, services.windowing))
{
    mRefreshTimer.setSingleShot(true);
    mRetryTimer.setSingleShot(true);
    connect(&mMonitorTimer, &QTimer::timeout, this, [this] { mMonitor->tmrConnectionMonitor_Timer(); });
    connect(&mRefreshTimer, &QTimer::timeout, this, [this] { check(Reason::Refresh); });
    connect(&mRetryTimer, &QTimer::timeout, this, [this] { check(Reason::Retry); });
    connect(&mSettingsTimer, &QTimer::timeout, this, &Watcher::settingsMayHaveChanged);
}

Watcher::~Watcher()
{
    stop();
}

bool Watcher::start()
{
    gSettings.create(mServices.store, mServices.secrets, mServices.windowing);
    const QStringList problems = ScriptSettings::problems(*gSettings, mServices.settingsFile);
    if (!problems.isEmpty()) {
        for (const QString& problem : problems)
            mLog.complain(problem);
        gSettings.discard();
        return false;
    }
    mSettingsStamp = mServices.settingsStamp();
    mServices.socket.setListener(&mControl);
    mServices.addresses.setChangeHandler([this] { addressesChanged(); });
    mMonitorTimer.start(kMonitorIntervalMs);
    mSettingsTimer.start(mTiming.settingsCheck);
    say(QStringLiteral(" - Watching ") + hostName() + QStringLiteral("."));
    check(Reason::Start);
    return true;
}

void Watcher::stop()
{
    mControl.cutOff();
    mMonitorTimer.stop();
    mRefreshTimer.stop();
    mRetryTimer.stop();
    mSettingsTimer.stop();
    mServices.addresses.setChangeHandler({});
    mServices.socket.setListener(nullptr);
    gSettings.discard();
}

void Watcher::postNow()
{
    if (!gSettings)
        return;
    mRefused = false;
    mRetryTimer.stop();
    mNextRetry = milliseconds(0);
    check(Reason::Asked);
}

void Watcher::requestUpdate()
{
    check(Reason::LinkUp);
}

void Watcher::rereadSettings()
{
    if (!gSettings)
        return;
    const QByteArray stamp = mServices.settingsStamp();
    const bool changed = stamp != mSettingsStamp;
    mSettingsStamp = stamp;
    // A file deleted, emptied or replaced by a link to nothing, or text without a [Settings]
    // group, gives the defaults: an update with them would go to the provider for no one. An
    // editor that saves in two steps comes back with the text.
    auto fresh = std::make_unique<CSettings>(mServices.store, mServices.secrets, mServices.windowing);
    QStringList problems = ScriptSettings::problems(*fresh, mServices.settingsFile);
    if (problems.isEmpty() && fresh->Username().isEmpty() && fresh->SubDomain().isEmpty())
        problems.append(QStringLiteral("the settings file ") + mServices.settingsFile +
                        QStringLiteral(" is gone, empty or names no user and no host"));
    if (!problems.isEmpty()) {
        for (const QString& problem : problems)
            mLog.complain(problem);
        mLog.complain(QStringLiteral("the last settings that could be read stay in use"));
        return;
    }
    const bool differ = postingSettings(*gSettings) != postingSettings(*fresh);
    gSettings.adopt(std::move(fresh));
    say(QStringLiteral(" - Settings read again."));
    // A touch of the file is the user's word that a refusal is worth another try.
    if (changed)
        mRefused = false;
    // New settings post as a new address would; the same ones again decide as before.
    if (differ)
        mAddress.clear();
    check(Reason::Settings);
}

void Watcher::settingsMayHaveChanged()
{
    if (mServices.settingsStamp() != mSettingsStamp)
        rereadSettings();
}

void Watcher::addressesChanged()
{
    // A conversation over an address that has gone would only wait for its time-out.
    const QString local = mServices.socket.localIP();
    if (mConversation.isRunning() && !local.isEmpty() && !mServices.addresses.holdsAddress(local)) {
        say(QStringLiteral(" - The address ") + local +
            QStringLiteral(" has gone; the conversation is cut off."));
        mControl.cutOff();
        mAddress.clear();
        check(Reason::Start);
        return;
    }
    check(Reason::AddressChange);
}

void Watcher::check(Reason reason)
{
    if (mConversation.isRunning()) {
        mPending = true;
        mPendingForced = mPendingForced || reason == Reason::Asked;
        return;
    }
    if (mRefused && reason != Reason::Asked)
        return;
    if (mRetryTimer.isActive() && reason == Reason::Refresh)
        return;
    // Settings never made (a watcher started before the options were filled in) would post for
    // no one.
    if (gSettings->Username().isEmpty() && gSettings->SubDomain().isEmpty()) {
        sayOnce(QStringLiteral(" - Nothing to post: the settings name no user and no host yet."));
        return;
    }
    if (!gSettings->CurrentIP()) {
        decide(reason, gSettings->OtherIP(), QString());
        return;
    }
    mServices.addresses.findLocalAddress(
        gSettings->Server(), static_cast<quint16>(gSettings->Port()),
        [this, reason](const QString& address, const QString& problem) { decide(reason, address, problem); });
}

void Watcher::decide(Reason reason, const QString& address, const QString& problem)
{
    if (mConversation.isRunning()) {
        mPending = true;
        return;
    }
    // The address found last is kept: the same one coming back after a lost route is no
    // change, and does not cut short the wait after a failed try.
    if (!problem.isEmpty()) {
        sayOnce(QStringLiteral(" - No address to post: ") + problem + QLatin1Char('.'));
        return;
    }
    if (address.isEmpty()) {
        sayOnce(QStringLiteral(" - No address to post: the settings hold no other IP."));
        return;
    }
    const bool changed = address != mAddress;
    mAddress = address;
    if (reason == Reason::AddressChange && !changed)
        return;
    if (changed) {
        // A new address is tried at once, whatever failed with the last one.
        mRetryTimer.stop();
        mNextRetry = milliseconds(0);
    } else if (mRetryTimer.isActive() && reason != Reason::Retry && reason != Reason::Asked) {
        return;
    }
    const PostableAddress postable = PostableAddress::of(address);
    if (postable.kind == PostableAddress::Kind::Unusable) {
        sayOnce(QStringLiteral(" - Not posting ") + address + QStringLiteral(": it is ") + postable.why +
                QStringLiteral("; waiting for another."));
        return;
    }
    if (postable.kind == PostableAddress::Kind::Private)
        sayOnce(QStringLiteral(" - Warning: ") + address + QStringLiteral(" is ") + postable.why +
                QStringLiteral(": the name will reach this machine only from inside that network."));

    const QString host = hostName();
    const std::optional<HistoryEntry> last = lastAcceptedStep(host);
    // Someone took the host offline: the watcher does not undo that by itself on a refresh
    // or a retry, only for a new address, at its own start or when asked.
    if (last && last->operation == Operation::Offline && !changed && reason != Reason::Start &&
        reason != Reason::Asked) {
        sayOnce(QStringLiteral(" - ") + host + QStringLiteral(" was taken offline (") +
                last->time.toLocalTime().toString(Qt::ISODate) +
                QStringLiteral("); no update until the address or the settings change or SIGUSR1 arrives."));
        return;
    }
    // A time ahead of the clock (a clock set back, a hand-edited line) proves nothing.
    const qint64 age = last ? last->time.msecsTo(mServices.now()) : -1;
    const bool fresh = last && last->operation == Operation::Update && last->address == address && age >= 0 &&
                       age < std::chrono::duration_cast<milliseconds>(mTiming.refresh).count();
    if (fresh && reason != Reason::Asked) {
        if (reason == Reason::Start || changed)
            sayOnce(QStringLiteral(" - ") + host + QStringLiteral(" already points at ") + address +
                    QStringLiteral(" (posted ") + last->time.toLocalTime().toString(Qt::ISODate) +
                    QStringLiteral(")."));
        scheduleRefresh(last->time);
        return;
    }
    post(address);
}

std::optional<HistoryEntry> Watcher::lastAcceptedStep(const QString& host)
{
    std::optional<HistoryEntry> recorded;
    try {
        recorded = mServices.history.lastAcceptedStep(host);
        mHistoryComplaint.clear();
    } catch (const Failure& failure) {
        // Without the history the watcher goes by its own memory: better once too often than never.
        const QString complaint = QStringLiteral("the history ") + mServices.history.path() +
                                  QStringLiteral(" cannot be read: ") + failure.description;
        if (complaint != mHistoryComplaint)
            mLog.complain(complaint);
        mHistoryComplaint = complaint;
    }
    if (mOwnLastStep && mOwnLastStep->host == host && (!recorded || recorded->time < mOwnLastStep->time))
        return mOwnLastStep;
    return recorded;
}

QString Watcher::addressRefusal(const QString& address) const
{
    // The connection may have gone out another way than the one checked (the server's next
    // address, another family): only the address that was checked is posted.
    const PostableAddress postable = PostableAddress::of(address);
    if (postable.kind == PostableAddress::Kind::Unusable)
        return QStringLiteral("The connection went out from ") + address + QStringLiteral(", which is ") +
               postable.why + QStringLiteral("; it is not posted");
    if (!QHostAddress(address).isEqual(QHostAddress(mPostingAddress), QHostAddress::ConvertV4MappedToIPv4))
        return QStringLiteral("The connection went out from ") + address + QStringLiteral(", not from ") +
               mPostingAddress + QStringLiteral(" that was checked; neither is posted");
    return QString();
}

void Watcher::post(const QString& address)
{
    mRefreshTimer.stop();
    mPostingAddress = address;
    mControl.mnuFileUpdateIP_Click();
    // A conversation that could not start (the keyring did not give the password) is tried again
    // as one that found no server; none is once the watcher has stopped.
    if (gSettings && !mConversation.isRunning() && !mPostingAddress.isEmpty()) {
        mPostingAddress.clear();
        scheduleRetry();
    }
}

bool Watcher::conversationEnded(const ConversationResult& result)
{
    mPostingAddress.clear();
    mServices.record(result);
    const bool forced = mPendingForced;
    bool recheck = mPending;
    mPending = false;
    mPendingForced = false;
    switch (result.outcome()) {
    case ConversationResult::Outcome::Accepted:
        mOwnLastStep = HistoryEntry::of(HistoryEntry::Runner::Watch, result, mServices.now());
        mRetryTimer.stop();
        mNextRetry = milliseconds(0);
        scheduleRefresh(mServices.now());
        break;
    case ConversationResult::Outcome::Refused:
        mRefused = true;
        say(QStringLiteral(
            " - The server refused; no new try until the settings change or SIGUSR1 arrives."));
        recheck = forced;
        break;
    case ConversationResult::Outcome::Failed:
        scheduleRetry();
        recheck = forced;
        break;
    }
    if (recheck) {
        // From the event loop, not from inside the handler that ended the conversation.
        QTimer::singleShot(0, this, [this, forced] {
            if (forced)
                postNow();
            else
                check(Reason::Start);
        });
    }
    return true;
}

void Watcher::scheduleRefresh(const QDateTime& lastPosted)
{
    const milliseconds left(mServices.now().msecsTo(
        lastPosted.addMSecs(std::chrono::duration_cast<milliseconds>(mTiming.refresh).count())));
    mRefreshTimer.start(std::clamp(left, milliseconds(0), kLongestTimer));
}

void Watcher::scheduleRetry()
{
    mNextRetry =
        mNextRetry.count() == 0 ? mTiming.firstRetry : std::min(2 * mNextRetry, mTiming.longestRetry);
    // A little jitter, so that many machines that failed together do not try again together.
    const double spread = 0.9 + 0.2 * QRandomGenerator::global()->generateDouble();
    const milliseconds wait = std::min(
        milliseconds(static_cast<milliseconds::rep>(static_cast<double>(mNextRetry.count()) * spread)),
        mTiming.longestRetry);
    say(QStringLiteral(" - No conversation; the next try in ") + pause(wait) + QLatin1Char('.'));
    mRetryTimer.start(std::min(wait, kLongestTimer));
}

void Watcher::say(const QString& message) const
{
    mLog.entry(ActivityLog::stamped(message));
}

void Watcher::sayOnce(const QString& message)
{
    if (message == mLastSaid)
        return;
    mLastSaid = message;
    say(message);
}
