#include "cli/CommandLine.h"
#include "cli/Runs.h"

#include <variant>

int main(int argc, char* argv[])
{
    return std::visit([argc, argv](const auto& request) { return run(request, argc, argv); },
                      CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc)));
}
