#include "app/ExitStatus.h"
#include "cli/Runs.h"

#include <iostream>

int run(const CommandLine::Information& request, int, char*[])
{
    std::cout << request.text;
    return exitstatus::kSuccess;
}

int run(const CommandLine::UsageError& request, int, char*[])
{
    std::cerr << request.text;
    return exitstatus::kUsage;
}
