#pragma once

#include "platform/INotifyIcon.h"

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The notification-area icon over QSystemTrayIcon: one icon, shown by Add, changed by Modify
// and taken away by Delete. A double-click is reported as kWmLButtonDblClk and the context
// request as kWmRButtonUp.
class QtNotifyIcon : public QObject, public INotifyIcon
{
    Q_OBJECT
public:
    QtNotifyIcon();
    ~QtNotifyIcon() override;

    bool shellNotifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    void setEventHandler(EventHandler handler) override { mHandler = std::move(handler); }

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void deliver(int code);

    QSystemTrayIcon* mIcon = nullptr;
    EventHandler mHandler;
    quintptr mOwner = 0;
    std::uint32_t mCallbackMessage = 0;
    bool mShown = false;
};
