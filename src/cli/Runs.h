#pragma once

#include "cli/CommandLine.h"

#include <ostream>

class Autostart;

// Each way the program runs, as the command line asks for it; each gives the exit status
// (app/ExitStatus.h).
int run(const CommandLine::Window& request, int argc, char* argv[]);
int run(const CommandLine::Information& request, int argc, char* argv[]);
int run(const CommandLine::UsageError& request, int argc, char* argv[]);
int run(const CommandLine::Conversation& request, int argc, char* argv[]);
int run(const CommandLine::Status& request, int argc, char* argv[]);
int run(const CommandLine::HistoryListing& request, int argc, char* argv[]);
int run(const CommandLine::Watch& request, int argc, char* argv[]);
int run(const CommandLine::PasswordStore& request, int argc, char* argv[]);
int run(const CommandLine::AddressFromRequest& request, int argc, char* argv[]);
int run(const CommandLine::AutostartRequest& request, int argc, char* argv[]);

// What every run without a window sets up before Qt starts: SIGPIPE ignored, the session's bus.
void prepareConsole();

// What "--autostart" does to the entry and says of it.
int answer(const CommandLine::AutostartRequest& request, const Autostart& autostart, std::ostream& out,
           std::ostream& err);
