#include "oneshot/OneShotRun.h"

#include "app/Provider.h"
#include "app/VisibleText.h"
#include "history/HistoryTable.h"
#include "platform/Failure.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "settings/CSettings.h"
#include "update/ActivityLog.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QEventLoop>

#include <algorithm>
#include <functional>

OneShotRun::OneShotRun(ISocket& socket, ISettingsStore& store, IWindowing& windowing, QString settingsFile,
                       std::FILE* out, std::FILE* err)
    : mSocket(socket), mStore(store), mWindowing(windowing), mSettingsFile(std::move(settingsFile)),
      mOut(out), mErr(err), mHistory(History(), HistoryEntry::Runner::Once, err)
{
}

bool OneShotRun::loadSettings()
{
    gSettings.create(mStore, mWindowing);
    bool readable = true;
    for (const CSettings::LoadFailure& unreadable : gSettings->loadFailures()) {
        if (unreadable.key.isEmpty())
            print(mErr, QStringLiteral("corvane-dyndns: ") + unreadable.failure.description);
        else
            unreadableSetting(unreadable.key, unreadable.failure.description);
        readable = false;
    }
    // The window lets the socket say what is wrong with a port; a script is told at once.
    const qint32 port = gSettings->Port();
    if (readable && (port < 1 || port > 65535)) {
        unreadableSetting(QStringLiteral("Port"),
                          QString::number(port) + QStringLiteral(" is not a port from 1 to 65535"));
        readable = false;
    }
    if (!readable)
        gSettings.discard();
    return readable;
}

void OneShotRun::unreadableSetting(const QString& key, const QString& reason)
{
    print(mErr, QStringLiteral("corvane-dyndns: the setting ") + key + QStringLiteral(" in ") +
                    mSettingsFile + QStringLiteral(" cannot be read: ") + reason);
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
        control.cutOff();
        interrupted = true;
        mEnded = true;
        loop.quit();
    });
    if (operation == Operation::Update)
        control.mnuFileUpdateIP_Click();
    else
        control.mnuFileGoOffline_Click();
    if (!mEnded && conversation.isRunning())
        loop.exec();
    mLoop = nullptr;
    mWindowing.setEndRequestHandler({});
    mSocket.setListener(nullptr);
    gSettings.discard();

    if (interrupted) {
        print(mErr, QStringLiteral("corvane-dyndns: interrupted; the conversation was cut off"));
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
        QStringLiteral("Password: ") +
            (settings.Password().isEmpty() ? QStringLiteral("empty") : QStringLiteral("set")),
        QStringLiteral("Host: ") + host,
        QStringLiteral("Address posted: ") + (settings.CurrentIP()
                                                  ? QStringLiteral("this machine's address on the connection")
                                                  : settings.OtherIP()),
    };
    for (const QString& line : lines)
        print(mOut, line);
    gSettings.discard();

    std::optional<HistoryEntry> accepted;
    std::optional<HistoryEntry> attempt;
    if (!readHistory([&](const History& history) {
            accepted = history.lastAccepted(host);
            attempt = history.lastAttempt(host);
        }))
        return Unreadable;
    const QString none = QStringLiteral("none");
    print(mOut,
          QStringLiteral("Last accepted update: ") +
              (accepted ? HistoryTable::localTime(accepted->time) + QStringLiteral(", ") + accepted->address
                        : none));
    print(mOut, QStringLiteral("Last attempt: ") +
                    (attempt ? HistoryTable::localTime(attempt->time) + QStringLiteral(", ") +
                                   UpdateConversation::operationWord(attempt->operation) +
                                   QStringLiteral(", ") + History::word(attempt->outcome)
                             : none));
    return Accepted;
}

OneShotRun::Status OneShotRun::printHistory(int count)
{
    QList<HistoryEntry> entries;
    if (!readHistory([&](const History& history) { entries = history.entries(); }))
        return Unreadable;
    if (entries.isEmpty()) {
        print(mOut, QStringLiteral("No conversation has been recorded in ") + mHistory.history().path() +
                        QStringLiteral(" yet."));
        return Accepted;
    }
    for (const QString& line :
         HistoryTable::rows(entries.mid(std::max<qsizetype>(0, entries.size() - count))))
        print(mOut, line);
    return Accepted;
}

bool OneShotRun::readHistory(const std::function<void(const History&)>& look)
{
    try {
        look(mHistory.history());
        return true;
    } catch (const Failure& failure) {
        print(mErr, QStringLiteral("corvane-dyndns: the history ") + mHistory.history().path() +
                        QStringLiteral(" cannot be read: ") + failure.description);
    }
    return false;
}

void OneShotRun::AppendLog(const QString& entry)
{
    if (!mQuiet)
        print(mOut, ActivityLog::bounded(entry));
}

void OneShotRun::AppendError(const QString& entry)
{
    print(mErr, ActivityLog::bounded(entry));
}

bool OneShotRun::conversationEnded(const ConversationResult& result)
{
    mHistory.record(result);
    mResult = result;
    mEnded = true;
    if (mLoop)
        mLoop->quit();
    return false;
}

void OneShotRun::print(std::FILE* stream, const QString& line)
{
    const QByteArray text = VisibleText::escaped(line).toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fflush(stream);
}
