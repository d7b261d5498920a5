#include "oneshot/OneShotRun.h"

#include "app/Provider.h"
#include "history/HistoryTable.h"
#include "platform/Failure.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "settings/CSettings.h"
#include "settings/PasswordMove.h"
#include "settings/ScriptSettings.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <functional>

OneShotRun::OneShotRun(ISocket& socket, ISettingsStore& store, ISecretStore& secrets, IWindowing& windowing,
                       QString settingsFile, std::FILE* out, std::FILE* err)
    : mSocket(socket), mStore(store), mSecrets(secrets), mWindowing(windowing),
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

    UpdateConversation conversation(mSocket, *this, mWindowing);
    ConversationControl control(mSocket, conversation, *this, mWindowing);
    mSocket.setListener(&control);
    QEventLoop loop;
    mLoop = &loop;
    bool interrupted = false;
    mWindowing.setEndRequestHandler([&] {
        // Interrupted: the conversation is cut off and counts as none.
        control.cutOff(QStringLiteral("the run was interrupted by a signal"));
        interrupted = true;
        mEnded = true;
        loop.quit();
        // A wait for the keyring ends with it.
        QCoreApplication::exit(NoConversation);
    });
    // Fetched before the conversation would fetch it, so that a keyring that cannot give it ends
    // the run as a setting that cannot be read does.
    bool fetched = false;
    try {
        fetched = gSettings.fetchPassword();
    } catch (const Failure& failure) {
        if (!interrupted)
            log().complain(failure.description);
    }
    if (fetched && !interrupted) {
        if (operation == Operation::Update)
            control.mnuFileUpdateIP_Click();
        else
            control.mnuFileGoOffline_Click();
        if (!mEnded && conversation.isRunning())
            loop.exec();
    }
    mLoop = nullptr;
    mWindowing.setEndRequestHandler({});
    mSocket.setListener(nullptr);
    gSettings.discard();
    if (!fetched && !interrupted)
        return Unreadable;

    if (interrupted) {
        log().complain(QStringLiteral("interrupted; the conversation was cut off"));
        return NoConversation;
    }
    switch (mResult.outcome()) {
    case ConversationResult::Outcome::Accepted:
        return Accepted;
    case ConversationResult::Outcome::Refused:
        return Refused;
    case ConversationResult::Outcome::Failed:
        break;
    }
    return NoConversation;
}

OneShotRun::Status OneShotRun::printSettings()
{
    if (!loadSettings())
        return Unreadable;
    const CSettings& settings = *gSettings;
    const QString host = settings.SubDomain() + provider::kDomainSuffix;
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

    std::optional<HistoryEntry> accepted;
    std::optional<HistoryEntry> attempt;
    if (!readHistory([&](const History& history) {
            accepted = history.lastAccepted(host);
            attempt = history.lastAttempt(host);
        }))
        return Unreadable;
    const QString none = QStringLiteral("none");
    log().line(QStringLiteral("Last accepted update: ") +
               (accepted ? HistoryTable::localTime(accepted->time) + QStringLiteral(", ") + accepted->address
                         : none));
    log().line(QStringLiteral("Last attempt: ") +
               (attempt ? HistoryTable::localTime(attempt->time) + QStringLiteral(", ") +
                              UpdateConversation::operationWord(attempt->operation) + QStringLiteral(", ") +
                              History::word(attempt->outcome)
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

bool OneShotRun::conversationEnded(const ConversationResult& result)
{
    mHistory.ended(result);
    mResult = result;
    mEnded = true;
    if (mLoop)
        mLoop->quit();
    return false;
}
