#include "ApplicationIdentity.h"
#include "app/Autostart.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtNotifyIcon.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/QtWindowing.h"
#include "ui/CommandLine.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto text = CommandLine::informationRequest(arguments)) {
        std::cout << *text;
        return 0;
    }
    if (const auto status = CommandLine::autostartRequest(arguments, Autostart(Autostart::userConfigHome()),
                                                          std::cout, std::cerr))
        return *status;

    QApplication app(argc, argv);
    // Panels and task bars match the windows to the menu entry and its icon by these. The title
    // is the display name by way of the application name: a display name set of its own would
    // be appended to every window caption.
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
