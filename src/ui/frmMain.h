#pragma once

#include "app/Provider.h"
#include "platform/IShell.h"
#include "platform/PlatformServices.h"
#include "session/SessionHost.h"
#include "ui/MenuTree.h"
#include "update/UpdateStarter.h"

#include <QMainWindow>

#include <memory>
#include <optional>
#include <utility>

class AddressFinder;
class ActivityLog;
class CTrayIcon;
class HistoryRecorder;
class QLabel;
class TrayBehaviour;
class QPlainTextEdit;
class QTimer;
class UpdateSession;

// The main window: the activity log, the menus and the popup menu, the connection-monitor
// timer and the update session. Loading it sets up the program; unloading it ends the program.
class frmMain : public QMainWindow, public SessionHost, public UpdateStarter
{
    Q_OBJECT
public:
    // The finder chooses what "Current IP" posts; without one the connection's own address is.
    explicit frmMain(const PlatformServices& platform, AddressFinder* finder = nullptr,
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the load procedure, then shows the window unless loading minimized, hid or
    // closed it.
    void load();

    // The caption: the title, the major and minor version once loaded, and the maker.
    static QString caption(const QString& title, std::optional<std::pair<int, int>> version = std::nullopt);

    void EnableMenus(bool enabled);
    // Sets the tray icon's tip and passes it to the notification area.
    void setTrayTip(const QString& tip);
    void AppendLog(const QString& text) override;
    void conversationStarted(Operation operation) override;
    bool conversationEnded(const ConversationResult& result) override;
    void passwordUnavailable(const Failure& failure, Operation operation) override;
    // A point-to-point link came up: its address is posted.
    void requestUpdate() override;

    void mnuFileUpdateIP_Click();
    void mnuFileGoOffline_Click();
    void mnuContextUpdateIP_Click();
    void mnuContextGoOffline_Click();
    void tmrConnectionMonitor_Timer();
    void mnuFileExit_Click();
    void mnuContextExit_Click();
    void mnuHelpHomepage_Click() { mPlatform.shell.openUrl(provider::kMakerHomePage); }
    void mnuHelpEmail_Click() { mPlatform.shell.openUrl(provider::kMakerMail); }
    void mnuHelpBrevantHomepage_Click() { mPlatform.shell.openUrl(provider::kHomePage); }
    void mnuHelpBrevantDynDNS_Click() { mPlatform.shell.openUrl(provider::kControlPage); }
    void mnuEditOptions_Click();
    void mnuContextOptions_Click();
    void mnuHelpAbout_Click();
    void mnuContextAbout_Click();

    CTrayIcon* trayIcon() const { return mTrayIcon.get(); }
    UpdateSession& session() { return *mSession; }
    TrayBehaviour& tray() { return *mTray; }
    bool isUnloaded() const { return mUnloaded; }

signals:
    // The window has unloaded; the program ends.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void connectMenus();

    PlatformServices mPlatform;
    std::unique_ptr<MenuTree> mMenus;
    QPlainTextEdit* txtLog;
    QLabel* picTrayIcon;
    QTimer* tmrConnectionMonitor;
    std::unique_ptr<ActivityLog> mLog;
    std::unique_ptr<CTrayIcon> mTrayIcon;
    std::unique_ptr<HistoryRecorder> mHistory;
    std::unique_ptr<UpdateSession> mSession;
    std::unique_ptr<TrayBehaviour> mTray;
    bool mUnloaded = false;
};
