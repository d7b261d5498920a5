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
    if (const auto text = CommandLine::informationRequest(std::vector<std::string>(argv + 1, argv + argc))) {
        std::cout << *text;
        return 0;
    }

    QApplication app(argc, argv);
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
