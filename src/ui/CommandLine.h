#pragma once

#include <QString>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

class Autostart;

namespace CommandLine {

// The switches are found anywhere in the upper-cased command line, as plain substrings;
// "--minimize" and "--close" are accepted beside them.
bool wantsMinimize(const QString& commandLine);
bool wantsClose(const QString& commandLine);

// "--help" and "--version" are answered without opening a window: the text to print, or
// nothing when the program should start.
std::optional<std::string> informationRequest(const std::vector<std::string>& arguments);

// "--autostart on", "--autostart off" (or "--autostart=on", "--autostart=off") and "--autostart"
// alone are answered without a window as well: the exit status, or nothing when the switch is
// absent.
std::optional<int> autostartRequest(const std::vector<std::string>& arguments, const Autostart& autostart,
                                    std::ostream& out, std::ostream& err);

} // namespace CommandLine
