#pragma once

#include "app/Operation.h"
#include "settings/CSettings.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// The program's command line: one table of switches, read once into what the program is to do.
namespace CommandLine {

inline constexpr int kHistoryLines = 20;
inline constexpr int kMaxHistoryLines = 1000;
inline constexpr int kMaxRefreshDays = 365;

// The main window; "/MINIMIZE" and "/CLOSE" it finds in the whole command line itself.
struct Window
{
};
// Text for standard output: "--help", "--version".
struct Information
{
    std::string text;
};
// What is wrong, and the usage, for standard error.
struct UsageError
{
    std::string text;
};
// "--update", "--offline": one conversation without a window.
struct Conversation
{
    Operation operation;
    bool quiet; // "--quiet": nothing printed but errors
};
// "--status": the settings a run would use.
struct Status
{
};
// "--history [N]": the newest conversations of the history.
struct HistoryListing
{
    int count;
};
// "--watch [--refresh DAYS] [--quiet]": keeps the name right without a window until it is ended.
struct Watch
{
    int refreshDays; // an unchanged address is posted again after this many days
    bool quiet;
};
// "--password-store [keyring|file]": moves the password there, or alone says where it is.
struct PasswordStore
{
    std::optional<PasswordPlace> place;
};
// "--address-from [auto|connection|router|URL]": stores where "Current IP" comes from, or alone
// says what each source says now.
struct AddressFromRequest
{
    std::optional<AddressFrom> from;
};
// "--autostart [on|off]": starts at login or not, or alone says which; the value as given.
struct AutostartRequest
{
    std::string value;
};

using Request = std::variant<Window, Information, UsageError, Conversation, Status, HistoryListing, Watch,
                             PasswordStore, AddressFromRequest, AutostartRequest>;

// A word beginning with "--" that is not one of the switches exactly, two that exclude each other,
// a switch without the one it goes with, a value out of bounds, or a word left over beside a
// switch that runs without a window is a usage error. "/MINIMIZE" and "/CLOSE" never are.
Request parse(const std::vector<std::string>& arguments);

std::string usage();
// The switches of the table, as the usage names them.
std::vector<std::string> switchNames();

} // namespace CommandLine
