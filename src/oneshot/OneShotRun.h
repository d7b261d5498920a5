#pragma once

#include "app/ExitStatus.h"
#include "app/Operation.h"
#include "history/HistoryRecorder.h"
#include "session/SessionHost.h"
#include "update/ConsoleLog.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <optional>

enum class PasswordPlace;
class IClock;
class ISecretStore;
class ISettingsStore;
class QEventLoop;
class ISocket;
class IWindowing;

// One conversation with the stored settings and no window, for scripts, timers and hooks: the
// log lines go to standard output as the window would show them (control characters made
// visible), errors to standard error. It never writes the settings.
class OneShotRun : public SessionHost
{
public:
    enum Status {
        Accepted = exitstatus::kSuccess,
        Refused = exitstatus::kRefused,               // "ERR", and nothing accepted
        NoConversation = exitstatus::kNoConversation, // no connection, time-out, connection lost
        Unreadable = exitstatus::kUnreadable,         // a setting, the settings or the history
    };

    OneShotRun(ISocket& socket, ISettingsStore& store, ISecretStore& secrets, IWindowing& windowing,
               IClock& clock, QString settingsFile, std::FILE* out = stdout, std::FILE* err = stderr);

    // Runs a conversation to its end. A password kept in the keyring is fetched first; when the
    // keyring cannot give it, nothing is sent and the run is Unreadable.
    Status run(Operation operation, bool quiet);
    // Prints the settings a run would use, the password only as set or empty or where it is
    // kept, and the host's last accepted update and last attempt from the history.
    Status printSettings();
    // Moves the password to the place (Unreadable, saying why and where the password stays,
    // when it cannot), then says where it is.
    Status passwordStore(std::optional<PasswordPlace> place);
    // Prints the newest entries of the history as a table, newest last.
    Status printHistory(int count);

    void AppendLog(const QString& text) override;
    void AppendError(const QString& text) override;
    bool conversationEnded(const ConversationResult& result) override;
    void passwordUnavailable(const Failure& failure, Operation operation) override;

private:
    // placeMended: a PasswordStore value that cannot be read is no problem.
    bool loadSettings(bool placeMended = false);
    ConsoleLog log() const;
    // A look at the history; false when it cannot be read, which is said on the error stream.
    bool readHistory(const std::function<void(const History&)>& look);

    ISocket& mSocket;
    ISettingsStore& mStore;
    ISecretStore& mSecrets;
    IWindowing& mWindowing;
    IClock& mClock;
    QString mSettingsFile;
    std::FILE* mOut;
    std::FILE* mErr;
    HistoryRecorder mHistory;
    QEventLoop* mLoop = nullptr;
    bool mQuiet = false;
    bool mEnded = false;
    bool mInterrupted = false;
    bool mPasswordUnavailable = false;
    ConversationResult mResult;
};
