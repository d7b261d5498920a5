#include "app/CommandLine.h"

#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "app/Provider.h"
#include "app/VisibleText.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace {

// The word after the switch: empty when none is given. A word that begins with "--" is a
// switch of its own.
std::optional<std::string> valueAfter(const std::vector<std::string>& arguments, const char* name)
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
    int number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (value.empty() || error != std::errc() || stop != end || number < lowest || number > highest)
        return std::nullopt;
    return number;
}

std::optional<std::string> historyValue(const std::vector<std::string>& arguments)
{
    return valueAfter(arguments, "--history");
}

std::optional<CommandLine::PasswordStoreRequest> passwordStoreValue(const std::string& value)
{
    using CommandLine::PasswordStoreRequest;
    if (value.empty())
        return PasswordStoreRequest::Show;
    if (value == "keyring")
        return PasswordStoreRequest::Keyring;
    if (value == "file")
        return PasswordStoreRequest::File;
    return std::nullopt;
}

std::optional<int> historyCount(const std::string& value)
{
    if (value.empty())
        return CommandLine::kHistoryLines;
    return numberIn(value, 1, CommandLine::kMaxHistoryLines);
}

} // namespace

namespace CommandLine {

bool wantsMinimize(const QString& commandLine)
{
    const QString upper = commandLine.toUpper();
    return upper.contains(QStringLiteral("/MINIMIZE")) || upper.contains(QStringLiteral("--MINIMIZE"));
}

bool wantsClose(const QString& commandLine)
{
    const QString upper = commandLine.toUpper();
    return upper.contains(QStringLiteral("/CLOSE")) || upper.contains(QStringLiteral("--CLOSE"));
}

namespace {

bool has(const std::vector<std::string>& arguments, const char* name)
{
    return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
}

std::string usage()
{
    const std::string program = identity::kProgram.toStdString();
    std::string text = "Usage: " + program + " [/MINIMIZE] [/CLOSE]\n";
    for (const char* form :
         {"--update | --offline [--quiet]", "--status", "--history [N]", "--watch [--refresh DAYS] [--quiet]",
          "--password-store [keyring|file]", "--autostart [on|off]"})
        text += "       " + program + " " + form + "\n";
    text += "Keeps a host name under " + provider::kDomain.toStdString() +
            " pointing at this machine.\n\n"
            "  /MINIMIZE, --minimize  start minimized (into the tray when the options ask for it)\n"
            "  /CLOSE, --close        end after the first conversation with the update server\n"
            "  --update               post this machine's address once, without a window, and end\n"
            "  --offline              take the host offline once, without a window, and end\n"
            "  --quiet                with --update, --offline or --watch: print nothing but errors\n"
            "  --status               print the settings a run would use (the password only as set\n"
            "                         or empty) and the host's last update and attempt, and end\n"
            "  --history [N]          print the newest N conversations (20 unless told), and end\n"
            "  --watch                keep the name right without a window until SIGTERM or SIGINT:\n"
            "                         post when the address changes, a point-to-point link comes up\n"
            "                         or the last update grows old; SIGHUP rereads the settings,\n"
            "                         SIGUSR1 posts at once\n"
            "  --refresh DAYS         with --watch: post an unchanged address again after DAYS days\n"
            "                         (1 to 365, 25 unless told)\n"
            "  --password-store keyring|file\n"
            "                         move the stored password into the desktop's keyring, or back\n"
            "                         into the settings file; alone: say where it is\n"
            "  --autostart on|off     start at login (minimized), or not; alone: say which\n"
            "  --help                 show this text and exit\n"
            "  --version              show the version and exit\n\n"
            "Exit status:\n";
    for (const exitstatus::Meaning& meaning : exitstatus::kMeanings)
        text += "  " + std::to_string(meaning.status) +
                std::string(4 - std::to_string(meaning.status).size(), ' ') + meaning.text + "\n";
    return text + "\nSettings are kept in $XDG_CONFIG_HOME/" + identity::kTitle.toStdString() +
           ".ini (by default ~/.config),\nthe history of conversations in $XDG_STATE_HOME/" + program +
           "/history\n(by default ~/.local/state).\n";
}

// A command line that cannot be run: what is wrong, then the usage.
std::string complaint(const std::string& text)
{
    return identity::kProgram.toStdString() + ": " + text + "\n\n" + usage();
}

// Exactly as written: a near-miss such as "--UPDATE" or "--update=yes" would otherwise open the
// window instead of doing what was asked.
bool known(const std::string& argument)
{
    // The program's own, and those Qt takes from every program's command line.
    static const char* const switches[] = {"--minimize",
                                           "--close",
                                           "--help",
                                           "--version",
                                           "--update",
                                           "--offline",
                                           "--status",
                                           "--history",
                                           "--quiet",
                                           "--watch",
                                           "--refresh",
                                           "--password-store",
                                           "--autostart",
                                           "--autostart=on",
                                           "--autostart=off",
                                           "--platform",
                                           "--platformpluginpath",
                                           "--platformtheme",
                                           "--plugin",
                                           "--qwindowgeometry",
                                           "--qwindowicon",
                                           "--qwindowtitle",
                                           "--reverse",
                                           "--session",
                                           "--display",
                                           "--geometry",
                                           "--style",
                                           "--stylesheet",
                                           "--widgetcount",
                                           "--nograb",
                                           "--dograb",
                                           "--sync",
                                           "--qmljsdebugger"};
    return std::any_of(std::begin(switches), std::end(switches),
                       [&argument](const char* name) { return argument == name; });
}

// A switch followed by a word of its own: the program's, and Qt's.
bool takesValue(const std::string& argument)
{
    static const char* const switches[] = {"--history",       "--refresh",      "--password-store",
                                           "--autostart",     "--platform",     "--platformpluginpath",
                                           "--platformtheme", "--plugin",       "--qwindowgeometry",
                                           "--qwindowicon",   "--qwindowtitle", "--session",
                                           "--display",       "--geometry",     "--style",
                                           "--stylesheet"};
    return std::any_of(std::begin(switches), std::end(switches),
                       [&argument](const char* name) { return argument == name; });
}

// "/MINIMIZE" and "/CLOSE" are looked for anywhere, in any case, and never refused.
bool isWindowSwitch(const std::string& argument)
{
    const QString upper = QString::fromLocal8Bit(argument).toUpper();
    return upper == QLatin1String("/MINIMIZE") || upper == QLatin1String("/CLOSE");
}

} // namespace

std::string shown(const std::string& word)
{
    return VisibleText::escaped(QString::fromLocal8Bit(word)).toLocal8Bit().toStdString();
}

std::optional<std::string> informationRequest(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == "--version")
            return identity::kTitle.toStdString() + " " + std::to_string(identity::kMajor) + "." +
                   std::to_string(identity::kMinor) + "." + std::to_string(identity::kRevision) + "\n";
        if (argument == "--help" || argument == "-h")
            return usage();
    }
    return std::nullopt;
}

std::optional<std::string> usageError(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument.starts_with("--") && !known(argument))
            return complaint("unknown switch " + shown(argument));
    }
    const bool quietable =
        has(arguments, "--update") || has(arguments, "--offline") || has(arguments, "--watch");
    // Each of these asks for a run of its own; "--autostart" given twice is as unclear.
    const auto requests = std::count_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "--update" || argument == "--offline" || argument == "--status" ||
               argument == "--history" || argument == "--watch" || argument == "--password-store" ||
               argument.starts_with("--autostart");
    });
    if (requests > 1)
        return complaint(
            "--update, --offline, --status, --history, --watch, --password-store and --autostart "
            "exclude each other");
    if (const auto value = valueAfter(arguments, "--password-store"); value && !passwordStoreValue(*value))
        return complaint("--password-store takes keyring or file, not \"" + shown(*value) + "\"");
    if (const auto value = valueAfter(arguments, "--refresh")) {
        if (!has(arguments, "--watch"))
            return complaint("--refresh goes only with --watch");
        if (!numberIn(*value, 1, kMaxRefreshDays))
            return complaint("--refresh takes a number of days from 1 to " + std::to_string(kMaxRefreshDays) +
                             ", not \"" + shown(*value) + "\"");
    }
    if (const auto value = historyValue(arguments); value && !historyCount(*value))
        return complaint("--history takes a number of lines from 1 to " + std::to_string(kMaxHistoryLines) +
                         ", not \"" + shown(*value) + "\"");
    if (has(arguments, "--quiet") && !quietable)
        return complaint("--quiet goes only with --update, --offline or --watch");
    // A run without a window takes no words but its switches and their values: one left over
    // ("--status 5", "--update foo") is most likely a mistake that would go unnoticed.
    if (requests > 0) {
        for (auto it = arguments.begin(); it != arguments.end(); ++it) {
            const bool value = it != arguments.begin() && takesValue(*std::prev(it));
            if (!it->starts_with("--") && !value && !isWindowSwitch(*it))
                return complaint("unexpected word \"" + shown(*it) + "\"");
        }
    }
    return std::nullopt;
}

std::optional<OneShot> oneShotRequest(const std::vector<std::string>& arguments)
{
    const bool quiet = has(arguments, "--quiet");
    if (has(arguments, "--update"))
        return OneShot{Operation::Update, quiet};
    if (has(arguments, "--offline"))
        return OneShot{Operation::Offline, quiet};
    if (has(arguments, "--status"))
        return OneShot{std::nullopt, quiet};
    return std::nullopt;
}

std::optional<Watch> watchRequest(const std::vector<std::string>& arguments)
{
    if (!has(arguments, "--watch"))
        return std::nullopt;
    const std::optional<std::string> days = valueAfter(arguments, "--refresh");
    return Watch{days ? numberIn(*days, 1, kMaxRefreshDays).value_or(kRefreshDays) : kRefreshDays,
                 has(arguments, "--quiet")};
}

std::optional<int> historyRequest(const std::vector<std::string>& arguments)
{
    const std::optional<std::string> value = historyValue(arguments);
    if (!value)
        return std::nullopt;
    return historyCount(*value).value_or(kHistoryLines);
}

std::optional<PasswordStoreRequest> passwordStoreRequest(const std::vector<std::string>& arguments)
{
    const std::optional<std::string> value = valueAfter(arguments, "--password-store");
    if (!value)
        return std::nullopt;
    return passwordStoreValue(*value).value_or(PasswordStoreRequest::Show);
}

} // namespace CommandLine
