#include "platform/qt/Autostart.h"

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "app/MenuEntry.h"
#include "platform/files/FileReplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

#include <iterator>

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

} // namespace

Autostart::Autostart(const QString& configHome)
    : mEntryPath(configHome + QStringLiteral("/autostart/") + identity::kApplicationId +
                 QStringLiteral(".desktop"))
{
}

bool Autostart::isOn() const
{
    return QFileInfo(mEntryPath).isFile();
}

QString Autostart::turnOn() const
{
    const QString folder = QFileInfo(mEntryPath).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the folder ") + folder;
    // A link at the entry's path is replaced rather than followed to a file it points at.
    if (const QString problem = FileReplacement::replace(mEntryPath, entryText(), 0644); !problem.isEmpty())
        return QStringLiteral("cannot write ") + mEntryPath + QStringLiteral(": ") + problem;
    return QString();
}

QString Autostart::turnOff() const
{
    QFile file(mEntryPath);
    if (file.remove() || !QFileInfo(mEntryPath).exists())
        return QString();
    return QStringLiteral("cannot remove ") + mEntryPath + QStringLiteral(": ") + file.errorString();
}

std::optional<int> Autostart::request(const std::vector<std::string>& arguments, std::ostream& out,
                                      std::ostream& err) const
{
    const std::optional<std::string> value = autostartValue(arguments);
    if (!value)
        return std::nullopt;
    const std::string program = identity::kProgram.toStdString();
    if (*value == "on" || *value == "off") {
        if (const QString error = *value == "on" ? turnOn() : turnOff(); !error.isEmpty()) {
            err << program << ": " << error.toStdString() << "\n";
            return exitstatus::kRefused;
        }
        // The entry starts the program by name, as the menu does.
        if (*value == "on" && QStandardPaths::findExecutable(identity::kProgram).isEmpty())
            err << program << ": note: " << program
                << " is not on PATH, so the entry starts nothing until the program is installed\n";
    } else if (!value->empty()) {
        err << program << ": --autostart takes on or off, not \"" << CommandLine::shown(*value) << "\"\n";
        return exitstatus::kUsage;
    }
    if (isOn())
        out << identity::kTitle.toStdString() << " starts at login: " << mEntryPath.toStdString() << "\n";
    else
        out << identity::kTitle.toStdString() << " does not start at login.\n";
    return exitstatus::kSuccess;
}

QByteArray Autostart::entryText()
{
    QList<QByteArray> lines = QByteArray(menuentry::kText).split('\n');
    for (QByteArray& line : lines) {
        if (line.startsWith("Exec="))
            line += " --minimize";
    }
    return lines.join('\n');
}
