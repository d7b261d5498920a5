#pragma once

#include "app/Operation.h"
#include "history/HistoryRecorder.h"
#include "session/SessionHost.h"
#include "update/ConsoleLog.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct AddressFrom;
class AddressFinder;
class AddressSurvey;
enum class PasswordPlace;
class IClock;
class ISecretStore;
class ISettingsStore;
class ISocket;
class IWindowing;
class PasswordMove;
class UpdateSession;

// Runs without a window, for scripts, timers and hooks: one conversation with the stored
// settings, or a look at them or at the history, a move of the password, or where the address
// comes from. The log lines go to
// standard output as the window would show them (control characters made visible), errors to
// standard error. Each run answers on the event loop with its exit status (app/ExitStatus.h);
// an end asked for by a signal cuts it short.
class OneShotRun : public SessionHost
{
public:
    using Done = std::function<void(int status)>;

    OneShotRun(ISocket& socket, ISettingsStore& store, ISecretStore& secrets, IWindowing& windowing,
               IClock& clock, QString settingsFile, AddressFinder* finder = nullptr,
               AddressSurvey* survey = nullptr);
    ~OneShotRun() override;

    // Runs a conversation to its end. A password kept in the keyring is read first; when the
    // keyring cannot give it, nothing is sent and the settings count as unreadable. It never
    // writes the settings.
    void run(Operation operation, bool quiet, Done done);
    // Prints the settings a run would use, the password only as set or empty or where it is
    // kept (the keyring asked what it holds), and the host's last accepted update and last
    // attempt from the history.
    void printSettings(Done done);
    // Moves the password to the place (saying why and where the password stays when it cannot),
    // then says where it is.
    void passwordStore(std::optional<PasswordPlace> place, Done done);
    // Prints the newest entries of the history as a table, newest last.
    int printHistory(int count);
    // Stores where "Current IP" comes from, the AddressFrom key alone, then says it.
    void storeAddressFrom(const AddressFrom& from, Done done);
    // Prints the choice, what each source says now and the address a post would use; a post
    // that would have none ends as a conversation that could not be had.
    void printAddressFrom(Done done);

    void AppendLog(const QString& text) override { log().entry(text); }
    void AppendError(const QString& text) override { log().error(text); }
    bool conversationEnded(const ConversationResult& result) override;
    void passwordUnavailable(const Failure& failure, Operation operation) override;

private:
    // The history lines of --status, then its end.
    void printHistoryOf(const QString& host);
    // mended: the key that the run writes anew, whose value does not stop it.
    bool loadSettings(const QString& mended = QString());
    ConsoleLog log() const { return ConsoleLog(stdout, stderr, mQuiet); }
    // The history's entries; none when it cannot be read, which is said on the error stream.
    std::optional<QList<HistoryEntry>> historyEntries() const;
    // Waits for the answers on the event loop; a signal ends the wait with the status, saying so.
    void await(Done done, const QString& interrupted);
    void finish(int status);
    void printPasswordPlace();

    ISocket& mSocket;
    ISettingsStore& mStore;
    ISecretStore& mSecrets;
    IWindowing& mWindowing;
    QString mSettingsFile;
    AddressFinder* mFinder;
    AddressSurvey* mSurvey;
    HistoryRecorder mHistory;
    std::unique_ptr<UpdateSession> mSession;
    std::unique_ptr<PasswordMove> mMove;
    Done mDone;
    bool mQuiet = false;
};
