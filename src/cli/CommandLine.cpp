#include "cli/CommandLine.h"

#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "app/Provider.h"
#include "app/VisibleText.h"
#include "watch/Watcher.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <type_traits>

namespace CommandLine {

namespace {

using Arguments = std::vector<std::string>;

// A run the command line may ask for; at most one at a time.
enum class Run {
    Window,
    Conversation,
    Status,
    History,
    Watch,
    PasswordStore,
    AddressFrom,
    Autostart,
    Information
};

// One switch: its name, the run it asks for (Window for one that only modifies another), its
// help line by line, the value it takes (as the usage names it, in brackets when it may be left
// out), the alias the usage lists before the name, and the runs it goes with.
struct Switch
{
    std::string name;
    Run run;
    std::string help;
    std::string value = "";
    std::string alias = "";
    std::vector<Run> goesWith = {};
};

std::string number(int value)
{
    return std::to_string(value);
}

const std::vector<Switch>& switches()
{
    static const std::vector<Switch> table = {
        {"--minimize", Run::Window, "start minimized (into the tray when the options ask for it)", "",
         "/MINIMIZE"},
        {"--close", Run::Window, "end after the first conversation with the update server", "", "/CLOSE"},
        {"--update", Run::Conversation, "post this machine's address once, without a window, and end"},
        {"--offline", Run::Conversation, "take the host offline once, without a window, and end"},
        {"--quiet",
         Run::Window,
         "with --update, --offline or --watch: print nothing but errors",
         "",
         "",
         {Run::Conversation, Run::Watch}},
        {"--status", Run::Status,
         "print the settings a run would use (the password only as set\n"
         "or empty) and the host's last update and attempt, and end"},
        {"--history", Run::History,
         "print the newest N conversations (" + number(kHistoryLines) + " unless told), and end", "[N]"},
        {"--watch", Run::Watch,
         "keep the name right without a window until SIGTERM or SIGINT:\n"
         "post when the address changes, a point-to-point link comes up\n"
         "or the last update grows old; SIGHUP rereads the settings,\n"
         "SIGUSR1 posts at once"},
        {"--refresh",
         Run::Window,
         "with --watch: post an unchanged address again after DAYS days\n(1 to " + number(kMaxRefreshDays) +
             ", " + number(WatcherTiming::kRefreshDays) + " unless told)",
         "DAYS",
         "",
         {Run::Watch}},
        {"--password-store", Run::PasswordStore,
         "move the stored password into the desktop's keyring, or back\n"
         "into the settings file; alone: say where it is",
         "[keyring|file]"},
        {"--address-from", Run::AddressFrom,
         "store where Current IP comes from (the AddressFrom setting):\n"
         "auto (the connection's address; behind a private one the\n"
         "router's outside address, then the lookup URL's answer when\n"
         "one is set), connection, router, or a lookup service's http://\n"
         "or https:// URL; alone: ask each source now and say which\n"
         "address a post would use",
         "[auto|connection|router|URL]"},
        {"--autostart", Run::Autostart, "start at login (minimized), or not; alone: say which", "[on|off]"},
        {"--help", Run::Information, "show this text and exit"},
        {"--version", Run::Information, "show the version and exit"},
    };
    return table;
}

// The switches Qt takes from every program's command line: those that take a value, and the others.
const std::vector<std::string> kQtSwitchesWithValues = {
    "--platform",        "--platformpluginpath", "--platformtheme", "--plugin",
    "--qwindowgeometry", "--qwindowicon",        "--qwindowtitle",  "--session",
    "--display",         "--geometry",           "--style",         "--stylesheet"};
const std::vector<std::string> kQtFlags = {"--reverse", "--widgetcount", "--nograb",
                                           "--dograb",  "--sync",        "--qmljsdebugger"};

const Switch* find(const std::string& name)
{
    const auto found = std::ranges::find(switches(), name, &Switch::name);
    return found == switches().end() ? nullptr : &*found;
}

template <typename T> bool contains(const std::vector<T>& list, const std::type_identity_t<T>& item)
{
    return std::ranges::find(list, item) != list.end();
}

// The names of the switches of the table that are chosen, in its order.
std::vector<std::string> namesOf(const std::function<bool(const Switch&)>& chosen)
{
    std::vector<std::string> names;
    for (const Switch& s : switches()) {
        if (chosen(s))
            names.push_back(s.name);
    }
    return names;
}

// "--autostart=on" and "--autostart=off" are the switch with its value.
bool autostartJoined(const std::string& argument)
{
    return argument == "--autostart=on" || argument == "--autostart=off";
}

// The word after the switch: empty when none is given. A word that begins with "--" is a switch
// of its own.
std::optional<std::string> valueAfter(const Arguments& arguments, const std::string& name)
{
    const auto it = std::find(arguments.begin(), arguments.end(), name);
    if (it == arguments.end())
        return std::nullopt;
    const auto next = std::next(it);
    return next == arguments.end() || next->starts_with("--") ? std::string() : *next;
}

// A whole number from lowest to highest, written as such; empty when it is not one.
std::optional<int> numberIn(const std::string& value, int lowest, int highest)
{
    int found = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, found);
    if (value.empty() || error != std::errc() || stop != end || found < lowest || found > highest)
        return std::nullopt;
    return found;
}

// The word given after "--address-from", empty or not; none when the switch stands alone (or
// is not given).
std::optional<std::string> addressFromValue(const Arguments& arguments)
{
    const auto it = std::ranges::find(arguments, "--address-from");
    if (it == arguments.end() || std::next(it) == arguments.end() || std::next(it)->starts_with("--"))
        return std::nullopt;
    return *std::next(it);
}

// The choice the word names; none for an empty word, which names nothing (the key's absence
// reads as auto, but a user who typed nothing most likely meant something).
std::optional<AddressFrom> addressFromOf(const std::string& value)
{
    const QString text = QString::fromLocal8Bit(value);
    return text.trimmed().isEmpty() ? std::nullopt : AddressFrom::read(text);
}

std::optional<int> historyCount(const std::string& value)
{
    return value.empty() ? std::optional(kHistoryLines) : numberIn(value, 1, kMaxHistoryLines);
}

// The word as it may be shown: it may hold anything, escape sequences for the terminal too.
std::string shown(const std::string& word)
{
    return VisibleText::escaped(QString::fromLocal8Bit(word)).toLocal8Bit().toStdString();
}

std::string listed(const std::vector<std::string>& names, const std::string& last)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " " + last + " " : ", ") + names[i];
    return text;
}

UsageError complaint(const std::string& text)
{
    return {identity::kProgram.toStdString() + ": " + text + "\n\n" + usage()};
}

// A switch that goes with other runs, given without any of them.
std::optional<UsageError> alone(const Arguments& arguments, const std::string& name)
{
    const std::vector<Run>& runs = find(name)->goesWith;
    const std::vector<std::string> partners =
        namesOf([&runs](const Switch& s) { return contains(runs, s.run); });
    if (!contains(arguments, name) ||
        std::ranges::any_of(partners, [&arguments](const std::string& p) { return contains(arguments, p); }))
        return std::nullopt;
    return complaint(name + " goes only with " + listed(partners, "or"));
}

std::optional<UsageError> wrong(const Arguments& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument.starts_with("--") && !find(argument) && !autostartJoined(argument) &&
            !contains(kQtSwitchesWithValues, argument) && !contains(kQtFlags, argument))
            return complaint("unknown switch " + shown(argument));
    }
    // Each run is asked for once; "--autostart" given twice is as unclear.
    const std::vector<std::string> runs =
        namesOf([](const Switch& s) { return s.run != Run::Window && s.run != Run::Information; });
    const auto requests = std::ranges::count_if(
        arguments, [&runs](const std::string& a) { return contains(runs, a) || autostartJoined(a); });
    if (requests > 1)
        return complaint(listed(runs, "and") + " exclude each other");
    if (const auto value = valueAfter(arguments, "--password-store");
        value && !value->empty() && *value != CSettings::kKeyringValue.toStdString() &&
        *value != CSettings::kFileValue.toStdString())
        return complaint("--password-store takes keyring or file, not \"" + shown(*value) + "\"");
    if (const auto value = addressFromValue(arguments); value && !addressFromOf(*value))
        return complaint("--address-from takes auto, connection, router or an http:// or https:// URL, "
                         "not \"" +
                         shown(*value) + "\"");
    if (auto error = alone(arguments, "--refresh"))
        return error;
    if (const auto days = valueAfter(arguments, "--refresh"); days && !numberIn(*days, 1, kMaxRefreshDays))
        return complaint("--refresh takes a number of days from 1 to " + number(kMaxRefreshDays) +
                         ", not \"" + shown(*days) + "\"");
    if (const auto count = valueAfter(arguments, "--history"); count && !historyCount(*count))
        return complaint("--history takes a number of lines from 1 to " + number(kMaxHistoryLines) +
                         ", not \"" + shown(*count) + "\"");
    if (auto error = alone(arguments, "--quiet"))
        return error;
    // A run without a window takes no words but its switches and their values: one left over
    // ("--status 5", "--update foo") is most likely a mistake that would go unnoticed.
    if (requests > 0) {
        for (auto it = arguments.begin(); it != arguments.end(); ++it) {
            const std::string before = it == arguments.begin() ? std::string() : *std::prev(it);
            const Switch* taking = find(before);
            const bool value = (taking && !taking->value.empty()) || contains(kQtSwitchesWithValues, before);
            const QString upper = QString::fromLocal8Bit(*it).toUpper();
            const bool windowSwitch = upper == QLatin1String("/MINIMIZE") || upper == QLatin1String("/CLOSE");
            if (!it->starts_with("--") && !value && !windowSwitch)
                return complaint("unexpected word \"" + shown(*it) + "\"");
        }
    }
    return std::nullopt;
}

} // namespace

std::string usage()
{
    const std::string program = identity::kProgram.toStdString();
    std::string text = "Usage: " + program + " [/MINIMIZE] [/CLOSE]\n";
    for (const char* form : {"--update | --offline [--quiet]", "--status", "--history [N]",
                             "--watch [--refresh DAYS] [--quiet]", "--password-store [keyring|file]",
                             "--address-from [auto|connection|router|URL]", "--autostart [on|off]"})
        text += "       " + program + " " + form + "\n";
    text += "Keeps a host name under " + provider::kDomain.toStdString() + " pointing at this machine.\n\n";
    const std::string indent(25, ' ');
    for (const Switch& s : switches()) {
        std::string value = s.value;
        // The help names a value that may be left out as it is, its brackets aside.
        if (value.starts_with('[') && s.name != "--history")
            value = value.substr(1, value.size() - 2);
        const std::string label =
            (s.alias.empty() ? "" : s.alias + ", ") + s.name + (value.empty() ? "" : " " + value);
        text += "  " + label + (label.size() <= 21 ? std::string(23 - label.size(), ' ') : "\n" + indent);
        std::string help = s.help;
        for (std::size_t at = help.find('\n'); at != std::string::npos;
             at = help.find('\n', at + 1 + indent.size()))
            help.insert(at + 1, indent);
        text += help + "\n";
    }
    text += "\nExit status:\n";
    for (const exitstatus::Meaning& meaning : exitstatus::kMeanings)
        text += "  " + number(meaning.status) + std::string(4 - number(meaning.status).size(), ' ') +
                meaning.text + "\n";
    return text + "\nSettings are kept in $XDG_CONFIG_HOME/" + identity::kTitle.toStdString() +
           ".ini (by default ~/.config),\nthe history of conversations in $XDG_STATE_HOME/" + program +
           "/history\n(by default ~/.local/state).\n";
}

std::vector<std::string> switchNames()
{
    return namesOf([](const Switch&) { return true; });
}

Request parse(const Arguments& arguments)
{
    if (std::optional<UsageError> error = wrong(arguments))
        return *error;
    for (const std::string& argument : arguments) {
        if (argument == "--version")
            return Information{identity::kTitle.toStdString() + " " + number(identity::kMajor) + "." +
                               number(identity::kMinor) + "." + number(identity::kRevision) + "\n"};
        if (argument == "--help" || argument == "-h")
            return Information{usage()};
    }
    const bool quiet = contains(arguments, "--quiet");
    if (contains(arguments, "--update"))
        return Conversation{Operation::Update, quiet};
    if (contains(arguments, "--offline"))
        return Conversation{Operation::Offline, quiet};
    if (contains(arguments, "--status"))
        return Status{};
    if (contains(arguments, "--watch")) {
        const std::optional<std::string> days = valueAfter(arguments, "--refresh");
        return Watch{days ? *numberIn(*days, 1, kMaxRefreshDays) : WatcherTiming::kRefreshDays, quiet};
    }
    if (const auto count = valueAfter(arguments, "--history"))
        return HistoryListing{*historyCount(*count)};
    if (const auto place = valueAfter(arguments, "--password-store"))
        return PasswordStore{place->empty() ? std::nullopt
                             : *place == CSettings::kKeyringValue.toStdString()
                                 ? std::optional(PasswordPlace::Keyring)
                                 : std::optional(PasswordPlace::File)};
    if (contains(arguments, "--address-from")) {
        const std::optional<std::string> value = addressFromValue(arguments);
        return AddressFromRequest{value ? addressFromOf(*value) : std::nullopt};
    }
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (*it == "--autostart")
            return AutostartRequest{std::next(it) == arguments.end() ? std::string() : *std::next(it)};
        if (it->starts_with("--autostart="))
            return AutostartRequest{it->substr(std::string("--autostart=").size())};
    }
    return Window{};
}

} // namespace CommandLine
