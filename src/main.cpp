#include "ApplicationIdentity.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtNotifyIcon.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/QtWindowing.h"
#include "platform/qt/SessionEnvironment.h"
#include "ui/CommandLine.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    if (const auto text = CommandLine::informationRequest(std::vector<std::string>(argv + 1, argv + argc))) {
        std::cout << *text;
        return 0;
    }

    SessionEnvironment::apply();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // A StatusNotifier panel shows the application name as the item's Id and Title, and the
    // display name follows it. Set on its own, a display name would be appended to every
    // window caption.
    QCoreApplication::setApplicationName(identity::kTitle);
    QGuiApplication::setDesktopFileName(identity::kApplicationId);

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
