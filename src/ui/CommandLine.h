#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace CommandLine {

// The switches are found anywhere in the upper-cased command line, as plain substrings;
// "--minimize" and "--close" are accepted beside them.
bool wantsMinimize(const QString& commandLine);
bool wantsClose(const QString& commandLine);

// "--help" and "--version" are answered without opening a window: the text to print, or
// nothing when the program should start.
std::optional<std::string> informationRequest(const std::vector<std::string>& arguments);

} // namespace CommandLine
