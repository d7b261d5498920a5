#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "cli/AddressSources.h"
#include "cli/Runs.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtNotifyIcon.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/QtWindowing.h"
#include "platform/qt/SessionEnvironment.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <iostream>

int run(const CommandLine::Window&, int argc, char* argv[])
{
    // The keyring is asked over the session bus, and the window goes where the session shows it.
    SessionEnvironment::apply();
    if (!SessionEnvironment::displayAvailable(QProcessEnvironment::systemEnvironment(),
                                              std::vector<std::string>(argv + 1, argv + argc))) {
        std::cerr << identity::kProgram.toStdString()
                  << ": there is no display to show the window on (DISPLAY is not set); --update, --offline, "
                     "--status and --watch run without one\n";
        return exitstatus::kRefused;
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
    QtSecretStore secrets(identity::kApplicationId);
    QtSocket socket;
    QtDialup dialup;
    QtNotifyIcon notifyIcon;
    QtShell shell;
    QtClock clock;
    AddressSources sources(clock);

    frmMain window(
        PlatformServices{socket, settingsStore, dialup, notifyIcon, shell, windowing, secrets, clock},
        &sources.finder);
    QObject::connect(&window, &frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    window.load();
    return window.isUnloaded() ? exitstatus::kSuccess : QApplication::exec();
}
