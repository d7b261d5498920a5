#include "oneshot/OneShotRun.h"

#include "app/Provider.h"
#include "history/HistoryTable.h"
#include "platform/Failure.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "session/UpdateSession.h"
#include "settings/CSettings.h"
#include "settings/PasswordMove.h"
#include "settings/ScriptSettings.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <functional>

OneShotRun::OneShotRun(ISocket& socket, ISettingsStore& store, ISecretStore& secrets, IWindowing& windowing,
                       IClock& clock, QString settingsFile, std::FILE* out, std::FILE* err)
    : mSocket(socket), mStore(store), mSecrets(secrets), mWindowing(windowing), mClock(clock),
      mSettingsFile(std::move(settingsFile)), mOut(out), mErr(err),
      mHistory(History(), HistoryEntry::Runner::Once, err)
{
}

bool OneShotRun::loadSettings(bool placeMended)
{
    gSettings.create(mStore, mSecrets, mWindowing);
    const QStringList problems = ScriptSettings::problems(
        *gSettings, mSettingsFile, placeMended ? CSettings::kPasswordStoreKey : QString());
    for (const QString& problem : problems)
        log().complain(problem);
    if (!problems.isEmpty())
        gSettings.discard();
    return problems.isEmpty();
}

ConsoleLog OneShotRun::log() const
{
    return ConsoleLog(mOut, mErr, mQuiet);
}

OneShotRun::Status OneShotRun::run(Operation operation, bool quiet)
{
    mQuiet = quiet;
    if (!loadSettings())
        return Unreadable;
    const UpdateRequest request = UpdateRequest::of(*gSettings, operation);
    gSettings.discard();

    UpdateSession session({mSocket, mSecrets, mWindowing, mClock, mHistory}, *this);
    QEventLoop loop;
    mLoop = &loop;
    mWindowing.setEndRequestHandler([&] {
        // Interrupted: the conversation is cut off and counts as none.
        session.cutOff(QStringLiteral("the run was interrupted by a signal"));
        mInterrupted = true;
        mEnded = true;
        loop.quit();
        // A wait for the keyring ends with it.
        QCoreApplication::exit(NoConversation);
    });
    session.start(request);
    if (!mEnded && session.isRunning())
        loop.exec();
    mLoop = nullptr;
    mWindowing.setEndRequestHandler({});

    if (mInterrupted) {
        log().complain(QStringLiteral("interrupted; the conversation was cut off"));
        return NoConversation;
    }
    // A keyring that cannot give the password ends the run as a setting that cannot be read does.
    if (mPasswordUnavailable)
        return Unreadable;
    switch (mResult.outcome) {
    case ConversationResult::Outcome::Accepted:
        return Accepted;
    case ConversationResult::Outcome::Refused:
        return Refused;
    case ConversationResult::Outcome::NoConversation:
    case ConversationResult::Outcome::EndedByProgram:
        break;
    }
    return NoConversation;
}

OneShotRun::Status OneShotRun::printSettings()
{
    if (!loadSettings())
        return Unreadable;
    const CSettings& settings = *gSettings;
    const QString host = settings.hostName();
    const QString lines[] = {
        QStringLiteral("Settings file: ") + mSettingsFile,
        QStringLiteral("Server: ") + settings.Server(),
        QStringLiteral("Port: ") + QString::number(settings.Port()),
        QStringLiteral("User name: ") + settings.Username(),
        QStringLiteral("Password: ") + settings.checkedPasswordPlace(),
        QStringLiteral("Host: ") + host,
        QStringLiteral("Address posted: ") + (settings.CurrentIP()
                                                  ? QStringLiteral("this machine's address on the connection")
                                                  : settings.OtherIP()),
    };
    for (const QString& line : lines)
        log().line(line);
    gSettings.discard();

    QList<HistoryEntry> entries;
    if (!readHistory([&](const History& history) { entries = history.entries(); }))
        return Unreadable;
    const std::optional<HistoryEntry> accepted = History::lastAccepted(entries, host);
    const std::optional<HistoryEntry> attempt = History::lastAttempt(entries, host);
    const QString none = QStringLiteral("none");
    log().line(QStringLiteral("Last accepted update: ") +
               (accepted ? HistoryTable::localTime(accepted->time) + QStringLiteral(", ") + accepted->address
                         : none));
    log().line(QStringLiteral("Last attempt: ") +
               (attempt ? HistoryTable::localTime(attempt->time) + QStringLiteral(", ") +
                              wordOf(kOperationWords, attempt->operation) + QStringLiteral(", ") +
                              wordOf(kOutcomeWords, attempt->outcome)
                        : none));
    return Accepted;
}

OneShotRun::Status OneShotRun::passwordStore(std::optional<PasswordPlace> place)
{
    // A move writes the place anew, so a value that could not be read does not stop it.
    if (!loadSettings(place.has_value()))
        return Unreadable;
    if (place) {
        bool interrupted = false;
        mWindowing.setEndRequestHandler([&interrupted] {
            // A move cut short anywhere leaves the password in one place or the other.
            interrupted = true;
            QCoreApplication::exit(NoConversation);
        });
        std::optional<Failure> failed;
        try {
            PasswordMove(mStore, mSecrets, mWindowing).to(*place, *gSettings);
        } catch (const Failure& failure) {
            failed = failure;
        }
        mWindowing.setEndRequestHandler({});
        gSettings.discard();
        if (failed) {
            log().complain(failed->description);
            if (interrupted)
                log().complain(QStringLiteral("interrupted"));
            return interrupted ? NoConversation : Unreadable;
        }
        if (!loadSettings())
            return Unreadable;
    }
    log().line(QStringLiteral("Password: ") + gSettings->checkedPasswordPlace());
    gSettings.discard();
    return Accepted;
}

OneShotRun::Status OneShotRun::printHistory(int count)
{
    QList<HistoryEntry> entries;
    if (!readHistory([&](const History& history) { entries = history.entries(); }))
        return Unreadable;
    if (entries.isEmpty()) {
        log().line(QStringLiteral("No conversation has been recorded in ") + mHistory.history().path() +
                   QStringLiteral(" yet."));
        return Accepted;
    }
    for (const QString& line :
         HistoryTable::rows(entries.mid(std::max<qsizetype>(0, entries.size() - count))))
        log().line(line);
    return Accepted;
}

bool OneShotRun::readHistory(const std::function<void(const History&)>& look)
{
    try {
        look(mHistory.history());
        return true;
    } catch (const Failure& failure) {
        log().complain(QStringLiteral("the history ") + mHistory.history().path() +
                       QStringLiteral(" cannot be read: ") + failure.description);
    }
    return false;
}

void OneShotRun::AppendLog(const QString& entry)
{
    log().entry(entry);
}

void OneShotRun::AppendError(const QString& entry)
{
    log().error(entry);
}

void OneShotRun::passwordUnavailable(const Failure& failure, Operation)
{
    mPasswordUnavailable = true;
    if (!mInterrupted)
        log().complain(failure.description);
}

bool OneShotRun::conversationEnded(const ConversationResult& result)
{
    mResult = result;
    mEnded = true;
    if (mLoop)
        mLoop->quit();
    return false;
}
