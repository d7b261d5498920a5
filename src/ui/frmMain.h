#pragma once

#include "ui/MenuTree.h"
#include "ui/PlatformServices.h"

#include <QMainWindow>

#include <memory>

class QPlainTextEdit;
class QTimer;

// The main window: the activity log, the menus and the popup menu, the connection-monitor
// timer and the socket. Loading it sets up the program; unloading it ends the program.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(const PlatformServices& platform, QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the load procedure, then shows the window unless loading minimized, hid or
    // closed it.
    void load();

    void EnableMenus(bool enabled);

    void mnuFileExit_Click();
    void mnuContextExit_Click();
    void mnuHelpHomepage_Click();
    void mnuHelpEmail_Click();
    void mnuHelpBrevantHomepage_Click();
    void mnuHelpBrevantDynDNS_Click();

    const MenuTree& menus() const { return *mMenus; }
    QPlainTextEdit* log() const { return txtLog; }
    QTimer* connectionMonitorTimer() const { return tmrConnectionMonitor; }
    bool isUnloaded() const { return mUnloaded; }

signals:
    // The window has unloaded; the program ends.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void connectMenus();
    void placeAtScreenCentre();

    PlatformServices mPlatform;
    std::unique_ptr<MenuTree> mMenus;
    QPlainTextEdit* txtLog;
    QTimer* tmrConnectionMonitor;
    bool mUnloaded = false;
};
