#include "watch/Watcher.h"

#include "address/PostableAddress.h"
#include "platform/Failure.h"
#include "platform/IAddressWatch.h"
#include "platform/IClock.h"
#include "platform/ISocket.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "settings/ScriptSettings.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

using std::chrono::milliseconds;

// A refresh is looked at again at least this often, against the wall clock: a machine that
// slept through the interval posts soon after it wakes.
constexpr milliseconds kLongestWait = std::chrono::hours(1);
constexpr milliseconds kMonitorInterval = std::chrono::seconds(1);
// The private addresses warned about are remembered up to this many.
constexpr qsizetype kMaxWarned = 1000;

// What an update depends on. A file saved again with the same values (the window does so at
// its end) is no change.
QStringList whatAPostDependsOn(const CSettings& settings)
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

QString when(const QDateTime& time)
{
    return time.toLocalTime().toString(Qt::ISODate);
}

// What a login is sent with, as a digest: the server, port, user name, host and password.
QByteArray loginDigestOf(const UpdateRequest& request)
{
    const QStringList login = {request.server, QString::number(request.port), request.user, request.host,
                               request.password};
    return QCryptographicHash::hash(login.join(QChar(0)).toUtf8(), QCryptographicHash::Sha256);
}

} // namespace

Watcher::Watcher(const Services& services, const ConsoleLog& log, const WatcherTiming& timing)
    : mServices(services), mLog(log), mTiming(timing),
      mSession({services.socket, services.secrets, services.windowing, services.history, nullptr}, *this),
      mFinder({services.addresses, services.router, services.lookup, services.clock})
{
    mSession.watchLinks(services.dialup, *this);
    IClock& clock = services.clock;
    mMonitorAlarm = clock.alarm([this] {
        mMonitorAlarm->start(kMonitorInterval);
        mSession.tick(mSettings->UpdateOnConnection());
    });
    mSettingsAlarm = clock.alarm([this] {
        if (mServices.settingsStamp() != mSettingsStamp)
            rereadSettings();
        if (mSettings)
            mSettingsAlarm->start(mTiming.settingsCheck);
    });
    mRefreshAlarm = clock.alarm([this] { check(Refresh); });
    mRetryAlarm = clock.alarm([this] { check(Retry); });
    mTurnAlarm = clock.alarm([this] { check(TurnCame); });
    mAnswerAlarm = clock.alarm([this] { check(0); });
    mRouterAlarm = clock.alarm([this] { check(RouterAgain); });
}

Watcher::~Watcher()
{
    stop();
}

bool Watcher::start()
{
    mSettings = readSettings(false);
    if (!mSettings)
        return false;
    mSettingsStamp = mServices.settingsStamp();
    mServices.addresses.setChangeHandler([this] { addressesChanged(); });
    mServices.router.listen([this] { check(RouterAgain); });
    mMonitorAlarm->start(kMonitorInterval);
    mSettingsAlarm->start(mTiming.settingsCheck);
    say(QStringLiteral(" - Watching ") + mSettings->hostName() + QStringLiteral("."));
    mServices.status(QStringLiteral("Watching ") + mSettings->hostName());
    check(Start);
    return true;
}

void Watcher::stop()
{
    mSession.cutOff(QStringLiteral("the watcher was ended"));
    for (IAlarm* alarm : {mMonitorAlarm.get(), mSettingsAlarm.get(), mRefreshAlarm.get(), mRetryAlarm.get(),
                          mTurnAlarm.get(), mAnswerAlarm.get(), mRouterAlarm.get()})
        alarm->stop();
    mServices.addresses.setChangeHandler({});
    mServices.router.listen({});
    mSettings.reset();
}

void Watcher::postNow()
{
    if (!mSettings)
        return;
    mForced = true;
    mRefused = false;
    mRetryAlarm->stop();
    mNextRetry = milliseconds(0);
    check(Asked);
}

void Watcher::rereadSettings()
{
    if (!mSettings)
        return;
    mSettingsStamp = mServices.settingsStamp();
    std::unique_ptr<CSettings> fresh = readSettings(true);
    if (!fresh)
        return;
    const bool differ = whatAPostDependsOn(*mSettings) != whatAPostDependsOn(*fresh);
    mSettings = std::move(fresh);
    say(QStringLiteral(" - Settings read again."));
    const auto checkAgain = [this, differ] {
        // New settings post as a new address would; the same ones again decide as before.
        if (differ)
            mAddress.clear();
        check(Settings);
    };
    if (!mRefused)
        return checkAgain();
    // A refused login is sent again only with something it depends on changed: a file touched
    // or saved again unchanged (a backup, a sync, the window's end) sends nothing.
    loginDigest(*mSettings, [self = QPointer(this), checkAgain](const QByteArray& login) {
        if (!self)
            return;
        if (!login.isEmpty() && login != self->mRefusedLogin)
            self->mRefused = false;
        checkAgain();
    });
}

std::unique_ptr<CSettings> Watcher::readSettings(bool again) const
{
    auto settings = std::make_unique<CSettings>(mServices.store, mServices.secrets, mServices.windowing);
    QStringList problems = ScriptSettings::problems(*settings, mServices.settingsFile);
    // A file deleted, emptied or replaced by a link to nothing, or text without a [Settings]
    // group, gives the defaults: an update with them would go to the provider for no one. An
    // editor that saves in two steps comes back with the text.
    if (again && problems.isEmpty() && settings->Username().isEmpty() && settings->SubDomain().isEmpty())
        problems.append(QStringLiteral("the settings file ") + mServices.settingsFile +
                        QStringLiteral(" is gone, empty or names no user and no host"));
    if (again && !problems.isEmpty())
        problems.append(QStringLiteral("the last settings that could be read stay in use"));
    for (const QString& problem : problems)
        mLog.complain(problem);
    return problems.isEmpty() ? std::move(settings) : nullptr;
}

void Watcher::addressesChanged()
{
    // A conversation over an address that has gone would only wait for its time-out.
    const QString local = mServices.socket.localIP();
    if (mSession.isRunning() && !local.isEmpty() && !mServices.addresses.holdsAddress(local)) {
        say(QStringLiteral(" - The address ") + local +
            QStringLiteral(" has gone; the conversation is cut off."));
        mSession.cutOff(QStringLiteral("the address ") + local + QStringLiteral(" went away"));
        mAddress.clear();
    }
    check(AddressChange);
}

void Watcher::check(Reasons reasons)
{
    if (!mSettings)
        return;
    // After a refusal nothing but a request, or new settings to log in with, brings a post.
    if (mRefused && !mForced) {
        mAsked = 0;
        mUnanswered = 0;
        return;
    }
    mAsked |= reasons;
    // A look that runs answers whatever was asked meanwhile as well; a conversation that runs
    // is followed by one look for all that was asked while it ran.
    if (mLookupRunning || mStarting || mSession.isStarting() || mSession.isRunning())
        return;
    lookUp();
}

void Watcher::lookUp()
{
    // Settings never made (a watcher started before the options were filled in) would post for
    // no one.
    if (mSettings->Username().isEmpty() && mSettings->SubDomain().isEmpty()) {
        mAsked = 0;
        sayOnce(QStringLiteral(" - Nothing to post: the settings name no user and no host yet."));
        return;
    }
    if (!mSettings->CurrentIP()) {
        AddressChoice other;
        other.address = mSettings->OtherIP();
        if (other.address.isEmpty())
            other.problem = QStringLiteral("the settings hold no other IP");
        return answered(other);
    }
    mLookupRunning = true;
    // A look for a changed connection reuses what the router said for the same connection; the
    // router's word or time asks it again; anything else may ask every source.
    const Reasons all = Start | LinkUp | Refresh | Retry | Settings | Asked;
    const auto fresh = (mAsked | mUnanswered) & all           ? AddressFinder::Fresh::All
                       : (mAsked | mUnanswered) & RouterAgain ? AddressFinder::Fresh::Router
                                                              : AddressFinder::Fresh::No;
    mFinder.find(mSettings->addressFrom(), mSettings->Server(), static_cast<quint16>(mSettings->Port()),
                 fresh, [this](const AddressChoice& choice) {
                     mLookupRunning = false;
                     answered(choice);
                 });
}

void Watcher::answered(const AddressChoice& choice)
{
    if (!mSettings)
        return;
    // Whatever brought this look, the router is asked again after a while with nothing heard.
    if (mFinder.readings().router)
        mRouterAlarm->start(mTiming.routerAgain);
    const Reasons reasons = std::exchange(mAsked, 0) | std::exchange(mUnanswered, 0);
    sayOfNetwork(choice);
    decide(reasons, choice);
    // What was asked while a conversation that this answer started runs waits for its end.
    if (mAsked && !mLookupRunning && !mSession.isRunning())
        mAnswerAlarm->start(milliseconds(0));
}

void Watcher::sayOfNetwork(const AddressChoice& choice)
{
    const QString said = QStringList({choice.unreachable, choice.fallback}).join(QLatin1Char('\n')).trimmed();
    if (said == mNetworkSaid)
        return;
    mNetworkSaid = said;
    for (const QString& line : {choice.unreachable, choice.fallback}) {
        if (!line.isEmpty())
            say(QStringLiteral(" - ") + line);
    }
}

void Watcher::decide(Reasons reasons, const AddressChoice& choice)
{
    const QString& address = choice.address;
    const QString& problem = choice.problem;
    // The address found last is kept: the same one coming back after a lost route is no
    // change, and does not cut short the wait after a failed try. What was asked for (a retry,
    // a refresh, a request) waits for the next look that finds an address.
    if (!problem.isEmpty() || address.isEmpty()) {
        mUnanswered |= reasons & ~Reasons(AddressChange | RouterAgain);
        sayOnce(QStringLiteral(" - No address to post: ") +
                (problem.isEmpty() ? QStringLiteral("the settings hold no other IP") : problem) +
                QLatin1Char('.'));
        return;
    }
    const bool changed = address != mAddress;
    mAddress = address;
    const bool forced = mForced || (reasons & Asked);
    if (!changed && !forced && (reasons & ~Reasons(AddressChange | RouterAgain)) == 0)
        return;
    if (changed) {
        // A new address is tried at once, whatever failed with the last one.
        mRetryAlarm->stop();
        mNextRetry = milliseconds(0);
    } else if (mRetryAlarm->isActive() && !forced && !(reasons & Retry)) {
        return;
    }
    const PostableAddress postable = PostableAddress::of(address);
    if (postable.kind == PostableAddress::Kind::Unusable) {
        sayOnce(QStringLiteral(" - Not posting ") + address + QStringLiteral(": it is ") + postable.why +
                QStringLiteral("; waiting for another."));
        return;
    }
    if (postable.kind == PostableAddress::Kind::Private && !mWarned.contains(address)) {
        if (mWarned.size() >= kMaxWarned)
            mWarned.clear();
        mWarned.insert(address);
        say(QStringLiteral(" - Warning: ") + address + QStringLiteral(" is ") + postable.why +
            QStringLiteral(": the name will reach this machine only from inside that network."));
    }

    const QString host = mSettings->hostName();
    const std::optional<HistoryEntry> last = lastAcceptedStep(host);
    // Someone took the host offline: the watcher does not undo that by itself on a refresh
    // or a retry, only for a new address, at its own start or when asked.
    if (last && last->operation == Operation::Offline && !changed && !(reasons & Start) && !forced) {
        sayOnce(QStringLiteral(" - ") + host + QStringLiteral(" was taken offline (") + when(last->time) +
                QStringLiteral("); no update until the address or the settings change or SIGUSR1 arrives."));
        return;
    }
    // A time ahead of the clock (a clock set back, a hand-edited line) proves nothing.
    const QDateTime now = mServices.clock.now();
    const qint64 age = last ? last->time.msecsTo(now) : -1;
    const bool fresh = last && last->operation == Operation::Update && last->address == address && age >= 0 &&
                       age < mTiming.refresh.count();
    if (fresh && !forced) {
        if ((reasons & Start) || changed) {
            sayOnce(QStringLiteral(" - ") + host + QStringLiteral(" already points at ") + address +
                    QStringLiteral(" (posted ") + when(last->time) + QStringLiteral(")."));
            mServices.status(host + QStringLiteral(" points at ") + address + QStringLiteral(" (posted ") +
                             when(last->time) + QLatin1Char(')'));
        }
        scheduleRefresh(last->time);
        return;
    }
    // Its turn comes once the last post is far enough behind; the address in force then is
    // the one posted.
    if (const milliseconds wait = mPacing.waitAt(mServices.clock.elapsed()); wait > milliseconds(0)) {
        mForced = forced;
        if (!mTurnAlarm->isActive())
            mTurnAlarm->start(wait);
        return;
    }
    post(choice);
}

std::optional<HistoryEntry> Watcher::lastAcceptedStep(const QString& host)
{
    std::optional<HistoryEntry> recorded;
    const History& history = mServices.history.history();
    try {
        recorded = history.lastAcceptedStep(host);
        mHistoryComplaint.clear();
    } catch (const Failure& failure) {
        // Without the history the watcher goes by its own memory: better once too often than never.
        const QString complaint = history.unreadable(failure);
        if (complaint != mHistoryComplaint)
            mLog.complain(complaint);
        mHistoryComplaint = complaint;
    }
    if (mOwnLastStep && mOwnLastStep->host == host && (!recorded || recorded->time < mOwnLastStep->time))
        return mOwnLastStep;
    return recorded;
}

void Watcher::post(const AddressChoice& choice)
{
    mRefreshAlarm->stop();
    mTurnAlarm->stop();
    mForced = false;
    mRefused = false;
    mPacing.started(mServices.clock.elapsed());
    UpdateRequest request = UpdateRequest::of(*mSettings, Operation::Update);
    // Only the address that was checked is posted: the connection's own must still be the one
    // it goes out from; the router's or the lookup's is posted as it was given, and so is the
    // connection's over IPv6, the stable address beside the temporary one it may go out from.
    if (!request.address && !choice.named())
        request.expectedAddress = choice.address;
    else if (!request.address)
        request.address = choice.address;
    {
        const QScopedValueRollback starting(mStarting, true);
        mSession.start(request);
    }
    if (mSettings && !mSession.isRunning() && !mSession.isStarting())
        notStarted();
}

// A conversation that could not start (the keyring did not give the password) is tried again as
// one that found no server; none is once the watcher has stopped.
void Watcher::notStarted()
{
    scheduleRetry();
    if (mAsked)
        mAnswerAlarm->start(milliseconds(0));
}

void Watcher::passwordUnavailable(const Failure& failure, Operation operation)
{
    reportFailure(mServices.windowing, failure, QString::fromLatin1(UpdateSession::procedure(operation)));
    // Told later, from the keyring's answer, rather than from inside post().
    if (mSettings && !mStarting)
        notStarted();
}

bool Watcher::conversationEnded(const ConversationResult& result)
{
    const QDateTime now = mServices.clock.now();
    switch (result.outcome) {
    case ConversationResult::Outcome::Accepted:
        mOwnLastStep = HistoryEntry::of(HistoryEntry::Runner::Watch, result, now);
        mRetryAlarm->stop();
        mNextRetry = milliseconds(0);
        scheduleRefresh(now);
        mServices.status(QStringLiteral("Posted ") + result.address + QStringLiteral(" for ") + result.host +
                         QStringLiteral(" at ") + when(now));
        break;
    case ConversationResult::Outcome::Refused:
        mRefused = true;
        mRefusedLogin = loginDigestOf(mSession.lastRequest());
        say(QStringLiteral(
            " - The server refused; no new try until the settings change or SIGUSR1 arrives."));
        mServices.status(QStringLiteral("Refused at ") + when(now) +
                         QStringLiteral("; waiting for the settings to change or SIGUSR1"));
        break;
    case ConversationResult::Outcome::NoConversation:
    case ConversationResult::Outcome::EndedByProgram:
        scheduleRetry();
        break;
    }
    // What was asked while it ran is answered now, from the event loop rather than from inside
    // the handler that ended the conversation.
    if (mAsked || mForced)
        mAnswerAlarm->start(milliseconds(0));
    return true;
}

void Watcher::scheduleRefresh(const QDateTime& lastPosted)
{
    const milliseconds left(mServices.clock.now().msecsTo(lastPosted.addMSecs(mTiming.refresh.count())));
    mRefreshAlarm->start(std::clamp(left, milliseconds(0), kLongestWait));
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
    mServices.status(QStringLiteral("No conversation at ") + when(mServices.clock.now()) +
                     QStringLiteral("; the next try in ") + pause(wait));
    mRetryAlarm->start(std::min(wait, kLongestWait));
}

void Watcher::loginDigest(const CSettings& settings, std::function<void(const QByteArray&)> done) const
{
    UpdateRequest request = UpdateRequest::of(settings, Operation::Update);
    if (request.keyringAccount.isEmpty())
        return done(loginDigestOf(request));
    // A password kept in the keyring is read from there to tell.
    CSettings::readPassword(mServices.secrets, request.keyringAccount,
                            [log = mLog, request, done = std::move(done)](
                                const QString& password, const std::optional<Failure>& failure) mutable {
                                if (failure) {
                                    log.complain(failure->description);
                                    return done(QByteArray());
                                }
                                request.password = password;
                                done(loginDigestOf(request));
                            });
}

void Watcher::sayOnce(const QString& message)
{
    if (message == mLastSaid)
        return;
    mLastSaid = message;
    say(message);
}
