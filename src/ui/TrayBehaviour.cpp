#include "ui/TrayBehaviour.h"

#include "platform/INotifyIcon.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "ui/CTrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace {

// A window in the tray keeps no native window: the way back makes a new one in the normal
// state. The window manager answers an iconify late, and such a late state change (or an
// iconic hint left on the old window) must never send a just-restored window back.
void releaseNativeWindow(QWidget& window)
{
    struct Release : QWidget
    {
        using QWidget::destroy;
    };
    (window.*&Release::destroy)(true, true);
}

} // namespace

TrayBehaviour::TrayBehaviour(QWidget& window, QMenu& popup, const std::unique_ptr<CTrayIcon>& trayIcon,
                             INotifyIcon& tray, IWindowing& windowing)
    : mWindow(window), mPopup(popup), mTrayIcon(trayIcon), mTray(tray), mWindowing(windowing)
{
}

void TrayBehaviour::Form_Resize()
{
    // The log box fills the client area through the window's layout. Into the tray: a test
    // that fails counts as passed, and every failing step is skipped.
    bool intoTray = true;
    try {
        intoTray = mWindow.isMinimized() && gSettings->MinimizeToSystemTray();
    } catch (...) { // skipped silently, as every failing step of this handler is
    }
    // With nothing to show the icon, the window stays minimized where the window manager
    // can bring it back.
    if (!intoTray || !mTray.trayAvailable())
        return;
    try {
        if (mTrayIcon)
            mTrayIcon->Add();
    } catch (...) { // skipped silently, as every failing step of this handler is
    }
    // Hidden from the event loop: whoever minimized the window (showMinimized() among them)
    // may still show it on the way out of this event.
    QTimer::singleShot(0, &mWindow, [this] {
        if (mWindow.isMinimized() && mWindow.isVisible()) {
            mWindow.hide();
            releaseNativeWindow(mWindow);
            mHiddenInTray = true;
        }
    });
}

void TrayBehaviour::picTrayIcon_MouseMove(int x)
{
    trap(mWindowing, "picTrayIcon_MouseMove", [&] {
        if (*mDialogOpen)
            return;
        if (x == kWmLButtonDblClk) {
            restore();
        } else if (x == kWmRButtonUp) {
            mPopup.popup(QCursor::pos());
        }
    });
}

void TrayBehaviour::mnuContextRestore_Click()
{
    trap(mWindowing, "mnuContextRestore_Click", [&] { restore(); });
}

void TrayBehaviour::restore()
{
    if (!mTrayIcon)
        throw failures::objectNotSet();
    mTrayIcon->Remove();
    mHiddenInTray = false;
    // A window hidden while minimized keeps that state; cleared, it shows normally again
    // instead of dropping straight back into the tray.
    mWindow.setWindowState(mWindow.windowState() & ~Qt::WindowMinimized);
    mWindow.show();
    mWindow.activateWindow();
    mWindow.raise();
}

void TrayBehaviour::trayAvailabilityChanged()
{
    trap(mWindowing, "trayAvailabilityChanged", [&] {
        if (mTray.trayAvailable()) {
            if (mWindow.isVisible())
                Form_Resize();
        } else if (mHiddenInTray) {
            // The tray went away with the icon: back to the task bar, still minimized.
            mHiddenInTray = false;
            if (mTrayIcon)
                mTrayIcon->Remove();
            // A new native window takes the minimized state only from a change to it.
            mWindow.setWindowState(mWindow.windowState() & ~Qt::WindowMinimized);
            mWindow.showMinimized();
        }
    });
}
