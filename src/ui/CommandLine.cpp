#include "ui/CommandLine.h"

#include "ApplicationIdentity.h"
#include "Provider.h"

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
                   "Keeps a host name under " +
                   provider::kDomain.toStdString() +
                   " pointing at this machine.\n\n"
                   "  /MINIMIZE, --minimize  start minimized (into the tray when the options ask for it)\n"
                   "  /CLOSE, --close        end after the first conversation with the update server\n"
                   "  --help                 show this text and exit\n"
                   "  --version              show the version and exit\n\n"
                   "Settings are kept in $XDG_CONFIG_HOME/" +
                   name + ".ini (by default ~/.config).\n";
    }
    return std::nullopt;
}

} // namespace CommandLine
