#include "app/ExitStatus.h"
#include "cli/ConsoleRun.h"
#include "cli/Runs.h"
#include "platform/Failure.h"
#include "platform/qt/InstanceLock.h"

#include <memory>

int run(const CommandLine::PasswordStore& request, int argc, char* argv[])
{
    ConsoleRun console(argc, argv);
    return console.until([&request](OneShotRun& run, const OneShotRun::Done& done) {
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
