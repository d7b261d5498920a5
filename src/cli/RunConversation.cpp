#include "cli/ConsoleRun.h"
#include "cli/Runs.h"

int run(const CommandLine::Conversation& request, int argc, char* argv[])
{
    ConsoleRun console(argc, argv);
    return console.until([&request](OneShotRun& run, const OneShotRun::Done& done) {
        run.run(request.operation, request.quiet, done);
    });
}
