#pragma once

#include <memory>

class CTrayIcon;
class INotifyIcon;
class IWindowing;
class QMenu;
class QWidget;

// How the main window lives in the notification area: minimizing into it, the icon's
// double-click and popup menu, and coming back. Without a tray, a minimized window stays on
// the task bar; it moves into a tray that appears, and comes back from one that goes away.
class TrayBehaviour
{
public:
    TrayBehaviour(QWidget& window, QMenu& popup, const std::unique_ptr<CTrayIcon>& trayIcon,
                  INotifyIcon& tray, IWindowing& windowing);

    // The window's size or state changed. Failing steps are skipped silently.
    void Form_Resize();
    // An event on the icon, its code in x: 515 restores, 517 opens the popup menu.
    void picTrayIcon_MouseMove(int x);
    void mnuContextRestore_Click();
    void trayAvailabilityChanged();

    // The window is hidden and only the icon brings it back.
    bool hiddenInTray() const { return mHiddenInTray; }

    // A dialog opened from the popup menu is open for as long as the token lives (a dialog that
    // fails closes it too): the icon then ignores events.
    [[nodiscard]] std::shared_ptr<void> dialogOpening()
    {
        *mDialogOpen = true;
        return std::shared_ptr<void>(nullptr, [open = std::weak_ptr<bool>(mDialogOpen)](void*) {
            if (const auto flag = open.lock())
                *flag = false;
        });
    }
    bool dialogOpen() const { return *mDialogOpen; }

private:
    void restore();

    QWidget& mWindow;
    QMenu& mPopup;
    const std::unique_ptr<CTrayIcon>& mTrayIcon;
    INotifyIcon& mTray;
    IWindowing& mWindowing;
    bool mHiddenInTray = false;
    std::shared_ptr<bool> mDialogOpen = std::make_shared<bool>(false);
};
