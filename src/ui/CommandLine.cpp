#include "ui/CommandLine.h"

#include "ApplicationIdentity.h"
#include "Provider.h"
#include "app/Autostart.h"

#include <QStandardPaths>

namespace {

// The value after "--autostart": empty when there is none.
std::optional<std::string> autostartValue(const std::vector<std::string>& arguments)
{
    const std::string name = "--autostart";
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (*it == name)
            return std::next(it) == arguments.end() ? std::string() : *std::next(it);
        if (it->starts_with(name + "="))
            return it->substr(name.size() + 1);
    }
    return std::nullopt;
}

void printState(const Autostart& autostart, std::ostream& out)
{
    if (autostart.isOn())
        out << identity::kTitle.toStdString() << " starts at login: " << autostart.entryPath().toStdString()
            << "\n";
    else
        out << identity::kTitle.toStdString() << " does not start at login.\n";
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

std::optional<std::string> informationRequest(const std::vector<std::string>& arguments)
{
    const std::string name = identity::kTitle.toStdString();
    for (const std::string& argument : arguments) {
        if (argument == "--version")
            return name + " " + std::to_string(identity::kMajor) + "." + std::to_string(identity::kMinor) +
                   "." + std::to_string(identity::kRevision) + "\n";
        if (argument == "--help" || argument == "-h")
            return "Usage: corvane-dyndns [/MINIMIZE] [/CLOSE]\n"
                   "       corvane-dyndns --autostart [on|off]\n"
                   "Keeps a host name under " +
                   provider::kDomain.toStdString() +
                   " pointing at this machine.\n\n"
                   "  /MINIMIZE, --minimize  start minimized (into the tray when the options ask for it)\n"
                   "  /CLOSE, --close        end after the first conversation with the update server\n"
                   "  --autostart on|off     start at login (minimized), or not; alone: say which\n"
                   "  --help                 show this text and exit\n"
                   "  --version              show the version and exit\n\n"
                   "Settings are kept in $XDG_CONFIG_HOME/" +
                   name + ".ini (by default ~/.config).\n";
    }
    return std::nullopt;
}

std::optional<int> autostartRequest(const std::vector<std::string>& arguments, const Autostart& autostart,
                                    std::ostream& out, std::ostream& err)
{
    const std::optional<std::string> value = autostartValue(arguments);
    if (!value)
        return std::nullopt;
    QString error;
    if (*value == "on" || *value == "off") {
        if (!(*value == "on" ? autostart.turnOn(error) : autostart.turnOff(error))) {
            err << "corvane-dyndns: " << error.toStdString() << "\n";
            return 1;
        }
        // The entry starts the program by name, as the menu does.
        if (*value == "on" && QStandardPaths::findExecutable(QStringLiteral("corvane-dyndns")).isEmpty())
            err << "corvane-dyndns: note: corvane-dyndns is not on PATH, so the entry starts nothing until "
                   "the program is installed\n";
    } else if (!value->empty()) {
        err << "corvane-dyndns: --autostart takes on or off, not \"" << *value << "\"\n";
        return 2;
    }
    printState(autostart, out);
    return 0;
}

} // namespace CommandLine
