#include "cli/ConsoleRun.h"

#include "app/Identity.h"
#include "platform/qt/EndNow.h"
#include "platform/qt/SessionEnvironment.h"

#include <csignal>
#include <optional>

void prepareConsole()
{
    // A reader that goes away (a pipe into "head") must not end the run halfway.
    std::signal(SIGPIPE, SIG_IGN);
    // The keyring is asked over the session bus: runs from scripts find the session's bus, and
    // none starts a bus of its own.
    SessionEnvironment::apply();
}

ConsoleRun::Setup::Setup()
{
    prepareConsole();
}

ConsoleRun::ConsoleRun(int& argc, char* argv[])
    : mApplication(argc, argv), mSecrets(identity::kApplicationId),
      mRun(mSocket, mSettingsStore, mSecrets, mWindowing, mClock, QtSettingsStore::filePath(identity::kTitle))
{
}

int ConsoleRun::until(const std::function<void(OneShotRun&, OneShotRun::Done)>& request)
{
    std::optional<int> answered;
    request(mRun, [&answered](int status) {
        answered = status;
        QCoreApplication::exit(status);
    });
    const int status = answered ? *answered : QCoreApplication::exec();
    // A lookup that never answers would hold the end back for minutes.
    if (mSocket.lookupRunning())
        endNow(status);
    return status;
}
