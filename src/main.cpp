#include "app/Autostart.h"
#include "app/CommandLine.h"
#include "app/Identity.h"
#include "app/UserFolders.h"
#include "oneshot/OneShotRun.h"
#include "platform/qt/ConsoleWindowing.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtNotifyIcon.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/QtWindowing.h"
#include "platform/qt/SessionEnvironment.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <csignal>
#include <functional>
#include <iostream>

namespace {

// One conversation, or a look at the settings or the history, with no window and no display
// needed.
int runOnce(int argc, char* argv[], const std::function<int(OneShotRun&)>& request)
{
    // A reader that goes away (a pipe into "head") must not end the conversation halfway.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QtSettingsStore settingsStore;
    QtSocket socket;
    ConsoleWindowing windowing;
    OneShotRun run(socket, settingsStore, windowing, QtSettingsStore::filePath(identity::kTitle));
    return request(run);
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto usage = CommandLine::usageError(arguments)) {
        std::cerr << *usage;
        return CommandLine::kUsageError;
    }
    if (const auto text = CommandLine::informationRequest(arguments)) {
        std::cout << *text;
        return 0;
    }
    if (const auto oneShot = CommandLine::oneShotRequest(arguments))
        return runOnce(argc, argv, [&oneShot](OneShotRun& run) {
            return oneShot->operation ? run.run(*oneShot->operation, oneShot->quiet) : run.printSettings();
        });
    if (const auto count = CommandLine::historyRequest(arguments))
        return runOnce(argc, argv, [count](OneShotRun& run) { return run.printHistory(*count); });
    if (const auto status = CommandLine::autostartRequest(arguments, Autostart(UserFolders::configHome()),
                                                          std::cout, std::cerr))
        return *status;

    SessionEnvironment::apply();
    if (!SessionEnvironment::displayAvailable(QProcessEnvironment::systemEnvironment(), arguments)) {
        std::cerr << "corvane-dyndns: there is no display to show the window on (DISPLAY is not set); "
                     "--update, --offline and --status run without one\n";
        return 1;
    }
    QApplication app(argc, argv);
    // Panels and task bars match the windows to the menu entry and its icon by these, and a
    // StatusNotifier panel shows the application name as the item's Id and Title. The title is
    // the display name by way of the application name: a display name set of its own would be
    // appended to every window caption.
    QGuiApplication::setDesktopFileName(identity::kApplicationId);
    QCoreApplication::setApplicationName(identity::kTitle);
    QApplication::setQuitOnLastWindowClosed(false);

    QtWindowing windowing;
    QtSettingsStore settingsStore;
    QtSocket socket;
    QtDialup dialup;
    QtNotifyIcon notifyIcon;
    QtShell shell;

    frmMain window(PlatformServices{socket, settingsStore, dialup, notifyIcon, shell, windowing});
    QObject::connect(&window, &frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    window.load();
    if (window.isUnloaded())
        return 0;
    return QApplication::exec();
}
