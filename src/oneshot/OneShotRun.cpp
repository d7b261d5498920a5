#include "oneshot/OneShotRun.h"

#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "history/HistoryTable.h"
#include "oneshot/AddressReport.h"
#include "oneshot/AddressSurvey.h"
#include "platform/Failure.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "session/UpdateSession.h"
#include "settings/CSettings.h"
#include "settings/PasswordMove.h"
#include "settings/ScriptSettings.h"

#include <algorithm>

OneShotRun::OneShotRun(ISocket& socket, ISettingsStore& store, ISecretStore& secrets, IWindowing& windowing,
                       IClock& clock, QString settingsFile, AddressFinder* finder, AddressSurvey* survey)
    : mSocket(socket), mStore(store), mSecrets(secrets), mWindowing(windowing),
      mSettingsFile(std::move(settingsFile)), mFinder(finder), mSurvey(survey),
      mHistory(History(), HistoryEntry::Runner::Once, clock, stderr)
{
}

OneShotRun::~OneShotRun()
{
    mWindowing.setEndRequestHandler({});
}

bool OneShotRun::loadSettings(const QString& mended)
{
    gSettings.create(mStore, mSecrets, mWindowing);
    const QStringList problems = ScriptSettings::problems(*gSettings, mSettingsFile, mended);
    for (const QString& problem : problems)
        log().complain(problem);
    if (!problems.isEmpty())
        gSettings.discard();
    return problems.isEmpty();
}

void OneShotRun::await(Done done, const QString& interrupted)
{
    mDone = std::move(done);
    mWindowing.setEndRequestHandler([this, interrupted] {
        if (mSession)
            mSession->cutOff(QStringLiteral("the run was interrupted by a signal"));
        log().complain(interrupted);
        finish(exitstatus::kNoConversation);
    });
}

void OneShotRun::finish(int status)
{
    if (const Done done = std::exchange(mDone, {}))
        done(status);
}

void OneShotRun::run(Operation operation, bool quiet, Done done)
{
    mQuiet = quiet;
    await(std::move(done), QStringLiteral("interrupted; the conversation was cut off"));
    if (!loadSettings())
        return finish(exitstatus::kUnreadable);
    const UpdateRequest request = UpdateRequest::of(*gSettings, operation);
    gSettings.discard();
    mSession = std::make_unique<UpdateSession>(
        UpdateSession::Services{mSocket, mSecrets, mWindowing, mHistory, mFinder}, *this);
    mSession->start(request);
}

bool OneShotRun::conversationEnded(const ConversationResult& result)
{
    using Outcome = ConversationResult::Outcome;
    finish(result.outcome == Outcome::Accepted  ? exitstatus::kSuccess
           : result.outcome == Outcome::Refused ? exitstatus::kRefused
                                                : exitstatus::kNoConversation);
    return true;
}

// A keyring that cannot give the password ends the run as a setting that cannot be read does.
void OneShotRun::passwordUnavailable(const Failure& failure, Operation)
{
    log().complain(failure.description);
    finish(exitstatus::kUnreadable);
}

void OneShotRun::printSettings(Done done)
{
    await(std::move(done), QStringLiteral("interrupted"));
    if (!loadSettings())
        return finish(exitstatus::kUnreadable);
    const CSettings& settings = *gSettings;
    const QString host = settings.hostName();
    const QString address = settings.CurrentIP() ? QStringLiteral("Current IP, as Address from finds it")
                                                 : settings.OtherIP() + QStringLiteral(" (Other IP)");
    const AddressFrom from = settings.addressFrom();
    const QString server = settings.Server();
    const auto port = static_cast<quint16>(settings.Port());
    const bool currentIP = settings.CurrentIP();
    for (const QString& line :
         {QStringLiteral("Settings file: ") + mSettingsFile, QStringLiteral("Server: ") + settings.Server(),
          QStringLiteral("Port: ") + QString::number(settings.Port()),
          QStringLiteral("User name: ") + settings.Username()})
        log().line(line);
    settings.checkedPasswordPlace([=, this](const QString& place) {
        log().line(QStringLiteral("Password: ") + place);
        log().line(QStringLiteral("Host: ") + host);
        log().line(QStringLiteral("Address posted: ") + address);
        if (!currentIP || !mSurvey) {
            log().line(QStringLiteral("Address from: ") + from.shown());
            return printHistoryOf(host);
        }
        // What each source says now, and whether carrier-grade or double NAT keeps others out.
        mSurvey->survey(from, server, port, [this, from, host](const AddressChoice::Readings& readings) {
            for (const QString& line : AddressReport::of(from, readings).lines)
                log().line(line);
            printHistoryOf(host);
        });
    });
    gSettings.discard();
}

void OneShotRun::printHistoryOf(const QString& host)
{
    const std::optional<QList<HistoryEntry>> entries = historyEntries();
    if (!entries)
        return finish(exitstatus::kUnreadable);
    const std::optional<HistoryEntry> accepted = History::lastAccepted(*entries, host);
    const std::optional<HistoryEntry> attempt = History::lastAttempt(*entries, host);
    const QString none = QStringLiteral("none");
    log().line(QStringLiteral("Last accepted update: ") +
               (accepted ? HistoryTable::localTime(accepted->time) + QStringLiteral(", ") + accepted->address
                         : none));
    log().line(QStringLiteral("Last attempt: ") +
               (attempt ? HistoryTable::localTime(attempt->time) + QStringLiteral(", ") +
                              wordOf(kOperationWords, attempt->operation) + QStringLiteral(", ") +
                              wordOf(kOutcomeWords, attempt->outcome)
                        : none));
    finish(exitstatus::kSuccess);
}

void OneShotRun::storeAddressFrom(const AddressFrom& from, Done done)
{
    await(std::move(done), QStringLiteral("interrupted"));
    // A value that could not be read is what this run mends.
    if (!loadSettings(CSettings::kAddressFromKey))
        return finish(exitstatus::kUnreadable);
    try {
        gSettings->saveAddressFrom(from);
    } catch (const Failure& failure) {
        gSettings.discard();
        log().complain(failure.description);
        return finish(exitstatus::kUnreadable);
    }
    gSettings.discard();
    log().line(QStringLiteral("Address from: ") + from.shown());
    finish(exitstatus::kSuccess);
}

void OneShotRun::printAddressFrom(Done done)
{
    await(std::move(done), QStringLiteral("interrupted"));
    if (!loadSettings())
        return finish(exitstatus::kUnreadable);
    const AddressFrom from = gSettings->addressFrom();
    const QString server = gSettings->Server();
    const auto port = static_cast<quint16>(gSettings->Port());
    const QString otherIP = gSettings->CurrentIP() ? QString() : gSettings->OtherIP();
    gSettings.discard();
    mSurvey->survey(from, server, port, [this, from, otherIP](const AddressChoice::Readings& readings) {
        const AddressReport report = AddressReport::of(from, readings, otherIP);
        for (const QString& line : report.lines)
            log().line(line);
        finish(report.wouldPost ? exitstatus::kSuccess : exitstatus::kNoConversation);
    });
}

void OneShotRun::passwordStore(std::optional<PasswordPlace> place, Done done)
{
    // A move cut short anywhere leaves the password in one place or the other.
    await(std::move(done), QStringLiteral("interrupted"));
    // A move writes the place anew, so a value that could not be read does not stop it.
    if (!loadSettings(place ? CSettings::kPasswordStoreKey : QString()))
        return finish(exitstatus::kUnreadable);
    if (!place)
        return printPasswordPlace();
    mMove = std::make_unique<PasswordMove>(mStore, mSecrets, mWindowing);
    mMove->to(*place, *gSettings, [this](const std::optional<Failure>& failure) {
        gSettings.discard();
        if (failure) {
            log().complain(failure->description);
            return finish(exitstatus::kUnreadable);
        }
        if (!loadSettings())
            return finish(exitstatus::kUnreadable);
        printPasswordPlace();
    });
}

void OneShotRun::printPasswordPlace()
{
    gSettings->checkedPasswordPlace([this](const QString& place) {
        log().line(QStringLiteral("Password: ") + place);
        finish(exitstatus::kSuccess);
    });
    gSettings.discard();
}

int OneShotRun::printHistory(int count)
{
    const std::optional<QList<HistoryEntry>> entries = historyEntries();
    if (!entries)
        return exitstatus::kUnreadable;
    if (entries->isEmpty()) {
        log().line(QStringLiteral("No conversation has been recorded in ") + mHistory.history().path() +
                   QStringLiteral(" yet."));
        return exitstatus::kSuccess;
    }
    for (const QString& line :
         HistoryTable::rows(entries->mid(std::max<qsizetype>(0, entries->size() - count))))
        log().line(line);
    return exitstatus::kSuccess;
}

std::optional<QList<HistoryEntry>> OneShotRun::historyEntries() const
{
    try {
        return mHistory.history().entries();
    } catch (const Failure& failure) {
        log().complain(mHistory.history().unreadable(failure));
        return std::nullopt;
    }
}
