#pragma once

#include "app/Operation.h"

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

// What to print on standard error before ending with exitstatus::kUsage, or nothing when the
// command line can be run: a word beginning with "--" that is not one of the program's switches
// exactly, two that exclude each other, a switch without the one it goes with, or a count that is
// out of bounds. Other words, "/MINIMIZE" and "/CLOSE" among them, never are.
std::optional<std::string> usageError(const std::vector<std::string>& arguments);

// A run without a window: one conversation ("--update", "--offline"), or a look at the
// settings it would use ("--status").
struct OneShot
{
    std::optional<Operation> operation; // none: "--status"
    bool quiet;                         // "--quiet": nothing printed but errors
};
std::optional<OneShot> oneShotRequest(const std::vector<std::string>& arguments);

// "--history [N]" prints the newest N conversations of the history (kHistoryLines unless told)
// without a window: the count, or nothing when the switch is absent.
inline constexpr int kHistoryLines = 20;
inline constexpr int kMaxHistoryLines = 1000;
std::optional<int> historyRequest(const std::vector<std::string>& arguments);

// "--watch [--refresh DAYS] [--quiet]": keeps the name right without a window until it is ended.
struct Watch
{
    int refreshDays; // an unchanged address is posted again after this many days
    bool quiet;
};
inline constexpr int kRefreshDays = 25;
inline constexpr int kMaxRefreshDays = 365;
std::optional<Watch> watchRequest(const std::vector<std::string>& arguments);

// "--password-store keyring" and "--password-store file" move the stored password into the
// desktop's keyring or back into the settings file; "--password-store" alone says where it is.
// Nothing when the switch is absent.
enum class PasswordStoreRequest { Show, Keyring, File };
std::optional<PasswordStoreRequest> passwordStoreRequest(const std::vector<std::string>& arguments);

// The word as it may be shown: it may hold anything, escape sequences for the terminal too.
std::string shown(const std::string& word);

} // namespace CommandLine
