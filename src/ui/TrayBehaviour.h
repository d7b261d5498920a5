#pragma once

#include <memory>

class CTrayIcon;
class IWindowing;
class QMenu;
class QWidget;

// How the main window lives in the notification area: minimizing into it, the icon's
// double-click and popup menu, and coming back.
class TrayBehaviour
{
public:
    TrayBehaviour(QWidget& window, QMenu& popup, const std::unique_ptr<CTrayIcon>& trayIcon,
                  IWindowing& windowing);

    // The window's size or state changed. Failing steps are skipped silently.
    void Form_Resize();
    // An event on the icon, its code in x: 515 restores, 517 opens the popup menu.
    void picTrayIcon_MouseMove(int x);
    void mnuContextRestore_Click();

    // True while a dialog opened from the popup menu is open: the icon then ignores events.
    bool mDialogOpen = false;

private:
    void restore();

    QWidget& mWindow;
    QMenu& mPopup;
    const std::unique_ptr<CTrayIcon>& mTrayIcon;
    IWindowing& mWindowing;
};
