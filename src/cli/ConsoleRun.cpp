// The runs without a window that answer once: a conversation, the settings, the history, a move
// of the password, where the address comes from.

#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "cli/AddressSources.h"
#include "cli/Runs.h"
#include "oneshot/AddressSurvey.h"
#include "oneshot/OneShotRun.h"
#include "platform/Failure.h"
#include "platform/qt/ConsoleWindowing.h"
#include "platform/qt/EndNow.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/SessionEnvironment.h"
#include "update/ConsoleLog.h"

#include <QCoreApplication>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>

void prepareConsole()
{
    // A reader that goes away (a pipe into "head") must not end the run halfway.
    std::signal(SIGPIPE, SIG_IGN);
    // The keyring is asked over the session bus: runs from scripts find the session's bus, and
    // none starts a bus of its own.
    SessionEnvironment::apply();
}

namespace {

using Request = std::function<void(OneShotRun& run, const OneShotRun::Done& done)>;

// Runs the request with the services of a run without a window and without a display until it
// answers with the exit status, on the process's one event loop or at once.
int onConsole(int argc, char* argv[], const Request& request)
{
    prepareConsole();
    QCoreApplication application(argc, argv);
    QtSettingsStore store;
    QtSecretStore secrets(identity::kApplicationId);
    QtSocket socket;
    ConsoleWindowing windowing;
    QtClock clock;
    AddressSources sources(clock);
    AddressSurvey survey({sources.addresses, sources.router, sources.lookup, clock, &sources.hold});
    OneShotRun oneShot(socket, store, secrets, windowing, clock, QtSettingsStore::filePath(identity::kTitle),
                       &sources.finder, &survey);
    std::optional<int> answered;
    request(oneShot, [&answered](int status) {
        answered = status;
        QCoreApplication::exit(status);
    });
    const int status = answered ? *answered : QCoreApplication::exec();
    // A name lookup that never answers in its thread would hold the end back for minutes.
    if (socket.lookupRunning())
        endNow(status);
    return status;
}

} // namespace

int run(const CommandLine::Conversation& request, int argc, char* argv[])
{
    return onConsole(argc, argv, [&request](OneShotRun& run, const OneShotRun::Done& done) {
        run.run(request.operation, request.quiet, done);
    });
}

int run(const CommandLine::Status&, int argc, char* argv[])
{
    return onConsole(argc, argv,
                     [](OneShotRun& run, const OneShotRun::Done& done) { run.printSettings(done); });
}

int run(const CommandLine::AddressFromRequest& request, int argc, char* argv[])
{
    return onConsole(argc, argv, [&request](OneShotRun& run, const OneShotRun::Done& done) {
        if (request.from)
            return run.storeAddressFrom(*request.from, done);
        run.printAddressFrom(done);
    });
}

int run(const CommandLine::HistoryListing& request, int argc, char* argv[])
{
    return onConsole(argc, argv, [&request](OneShotRun& run, const OneShotRun::Done& done) {
        done(run.printHistory(request.count));
    });
}

int run(const CommandLine::PasswordStore& request, int argc, char* argv[])
{
    return onConsole(argc, argv, [&request](OneShotRun& run, const OneShotRun::Done& done) {
        if (!request.place)
            return run.passwordStore(std::nullopt, done);
        // The window writes the settings back when it ends, the password where it found it: none
        // may run during a move, and none starts while this holds the window's lock.
        auto window = std::make_shared<InstanceLock>(InstanceLock::forWindow());
        try {
            if (!window->tryTake()) {
                ConsoleLog(stdout, stderr, false)
                    .complain(
                        QStringLiteral("the program runs in its window, or moves the password already") +
                        window->holderNote() +
                        QStringLiteral("; a window would put the password back where it found it, so end it "
                                       "first"));
                return done(exitstatus::kAlreadyRunning);
            }
        } catch (const Failure&) {
            // No lock can be made here, nor by a window: the move goes ahead, as a window would.
        }
        run.passwordStore(request.place, [window, done](int status) { done(status); });
    });
}
