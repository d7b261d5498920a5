#include "cli/ConsoleRun.h"
#include "cli/Runs.h"

int run(const CommandLine::HistoryListing& request, int argc, char* argv[])
{
    ConsoleRun console(argc, argv);
    return console.until(
        [&request](OneShotRun& run, const OneShotRun::Done& done) { done(run.printHistory(request.count)); });
}
