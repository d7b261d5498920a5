#pragma once

#include "app/Operation.h"
#include "history/HistoryRecorder.h"
#include "update/ConversationHost.h"

#include <QString>

#include <cstdio>
#include <functional>

class ISettingsStore;
class QEventLoop;
class ISocket;
class IWindowing;

// One conversation with the stored settings and no window, for scripts, timers and hooks: the
// log lines go to standard output as the window would show them (control characters made
// visible), errors to standard error. It never writes the settings.
class OneShotRun : public ConversationHost
{
public:
    enum Status {
        Accepted = 0,       // the server accepted the update or the offline step
        Refused = 1,        // the server said "ERR" and accepted nothing
        NoConversation = 2, // refused connection, unknown host, time-out, connection lost
        Unreadable = 3,     // a stored value, the settings file or the history could not be read
    };

    OneShotRun(ISocket& socket, ISettingsStore& store, IWindowing& windowing, QString settingsFile,
               std::FILE* out = stdout, std::FILE* err = stderr);

    // Runs a conversation to its end.
    Status run(Operation operation, bool quiet);
    // Prints the settings a run would use, the password only as set or empty, and the host's
    // last accepted update and last attempt from the history.
    Status printSettings();
    // Prints the newest entries of the history as a table, newest last.
    Status printHistory(int count);

    void AppendLog(const QString& text) override;
    void AppendError(const QString& text) override;
    void EnableMenus(bool) override {}
    void setTrayTip(const QString&) override {}
    bool conversationEnded(const ConversationResult& result) override;

private:
    bool loadSettings();
    void unreadableSetting(const QString& key, const QString& reason);
    void print(std::FILE* stream, const QString& line);
    // A look at the history; false when it cannot be read, which is said on the error stream.
    bool readHistory(const std::function<void(const History&)>& look);

    ISocket& mSocket;
    ISettingsStore& mStore;
    IWindowing& mWindowing;
    QString mSettingsFile;
    std::FILE* mOut;
    std::FILE* mErr;
    HistoryRecorder mHistory;
    QEventLoop* mLoop = nullptr;
    bool mQuiet = false;
    bool mEnded = false;
    ConversationResult mResult;
};
