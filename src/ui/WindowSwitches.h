#pragma once

#include <QString>

// The window's own switches, found anywhere in the upper-cased command line as plain
// substrings; "--minimize" and "--close" are accepted beside them.
namespace WindowSwitches {

bool wantsMinimize(const QString& commandLine);
bool wantsClose(const QString& commandLine);

} // namespace WindowSwitches
