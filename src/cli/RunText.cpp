// The runs that answer at once, with no event loop.

#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "app/UserFolders.h"
#include "app/VisibleText.h"
#include "cli/Runs.h"
#include "platform/qt/Autostart.h"

#include <QStandardPaths>

#include <iostream>

int run(const CommandLine::Information& request, int, char*[])
{
    std::cout << request.text;
    return exitstatus::kSuccess;
}

int run(const CommandLine::UsageError& request, int, char*[])
{
    std::cerr << request.text;
    return exitstatus::kUsage;
}

int answer(const CommandLine::AutostartRequest& request, const Autostart& autostart, std::ostream& out,
           std::ostream& err)
{
    const std::string program = identity::kProgram.toStdString();
    const std::string& value = request.value;
    if (value == "on" || value == "off") {
        if (const QString error = value == "on" ? autostart.turnOn() : autostart.turnOff();
            !error.isEmpty()) {
            err << program << ": " << error.toStdString() << "\n";
            return exitstatus::kRefused;
        }
        // The entry starts the program by name, as the menu does.
        if (value == "on" && QStandardPaths::findExecutable(identity::kProgram).isEmpty())
            err << program << ": note: " << program
                << " is not on PATH, so the entry starts nothing until the program is installed\n";
    } else if (!value.empty()) {
        err << program << ": --autostart takes on or off, not \""
            << VisibleText::escaped(QString::fromLocal8Bit(value)).toLocal8Bit().toStdString() << "\"\n";
        return exitstatus::kUsage;
    }
    if (autostart.isOn())
        out << identity::kTitle.toStdString() << " starts at login: " << autostart.entryPath().toStdString()
            << "\n";
    else
        out << identity::kTitle.toStdString() << " does not start at login.\n";
    return exitstatus::kSuccess;
}

int run(const CommandLine::AutostartRequest& request, int, char*[])
{
    return answer(request, Autostart(UserFolders::configHome()), std::cout, std::cerr);
}
