#pragma once

#include "platform/INotifyIcon.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

// The notification-area icon over QSystemTrayIcon: one icon, shown by Add, changed by Modify
// and taken away by Delete. A double-click is reported as kWmLButtonDblClk and the context
// request as kWmRButtonUp. Where a StatusNotifier host runs the tray, its primary activation
// is the double-click and the host shows the popup menu. Which tray it is, and whether there
// is one at all, is Qt's answer.
class QtNotifyIcon : public QObject, public INotifyIcon
{
    Q_OBJECT
public:
    QtNotifyIcon();
    ~QtNotifyIcon() override { mIcon->hide(); }

    bool shellNotifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    void setEventHandler(EventHandler handler) override { mHandler = std::move(handler); }
    void setContextMenu(QMenu* menu) override { mMenu = menu; }
    bool trayAvailable() const override { return mAvailable; }
    void setAvailabilityHandler(std::function<void()> handler) override
    {
        mAvailabilityHandler = std::move(handler);
    }
    void showMessage(const QString& title, const QString& text, bool warning) override;

private slots:
    void trayChanged();

private:
    void show();
    // An XEmbed icon is a window of ours with a place on the screen; a StatusNotifier item has
    // none, the host draws it.
    bool statusNotifierItem() const { return mIcon->geometry().isEmpty(); }
    void activated(QSystemTrayIcon::ActivationReason reason);
    void deliver(int code);

    QSystemTrayIcon* mIcon = nullptr;
    QPointer<QMenu> mMenu;
    EventHandler mHandler;
    std::function<void()> mAvailabilityHandler;
    quintptr mOwner = 0;
    std::uint32_t mCallbackMessage = 0;
    bool mShown = false;
    bool mAvailable = false;
};
