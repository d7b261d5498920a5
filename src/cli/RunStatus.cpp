#include "cli/ConsoleRun.h"
#include "cli/Runs.h"

int run(const CommandLine::Status&, int argc, char* argv[])
{
    ConsoleRun console(argc, argv);
    return console.until([](OneShotRun& run, const OneShotRun::Done& done) { run.printSettings(done); });
}
