#pragma once

#include "platform/INotifyIcon.h"

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The notification-area icon over QSystemTrayIcon: one icon, shown by Add, changed by Modify
// and taken away by Delete. A double-click is reported as kWmLButtonDblClk and the context
// request as kWmRButtonUp. Where a StatusNotifier host runs the tray, its primary activation
// is the double-click and the host shows the popup menu.
class QtNotifyIcon : public QObject, public INotifyIcon
{
    Q_OBJECT
public:
    QtNotifyIcon();
    ~QtNotifyIcon() override;

    bool shellNotifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    void setEventHandler(EventHandler handler) override { mHandler = std::move(handler); }
    void setContextMenu(QMenu* menu) override;

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void deliver(int code);

    QSystemTrayIcon* mIcon = nullptr;
    EventHandler mHandler;
    quintptr mOwner = 0;
    std::uint32_t mCallbackMessage = 0;
    bool mShown = false;
    // A StatusNotifier host on the session bus: it has no double-click and shows the
    // popup menu itself.
    bool mStatusNotifierHost = false;
};
