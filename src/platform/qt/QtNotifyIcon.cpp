#include "platform/qt/QtNotifyIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <algorithm>

namespace {

QString tipText(const NotifyIconData& data)
{
    const auto end = std::find(data.szTip.begin(), data.szTip.end(), '\0');
    return QString::fromLatin1(data.szTip.data(), end - data.szTip.begin());
}

} // namespace

QtNotifyIcon::QtNotifyIcon() : mIcon(new QSystemTrayIcon(this))
{
    // Qt's own test for the tray it will use.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    mStatusNotifierHost =
        bus.isConnected() && bus.interface() &&
        bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"));
    mIcon->setObjectName(QStringLiteral("trayIcon"));
    connect(mIcon, &QSystemTrayIcon::activated, this, &QtNotifyIcon::activated);
}

QtNotifyIcon::~QtNotifyIcon()
{
    mIcon->hide();
}

bool QtNotifyIcon::shellNotifyIcon(NotifyMessage message, const NotifyIconData& data)
{
    switch (message) {
    case NotifyMessage::Add:
        if (mShown)
            return false;
        mOwner = data.hWnd;
        mCallbackMessage = data.uCallbackMessage;
        mIcon->setIcon(data.hIcon);
        mIcon->setToolTip(tipText(data));
        mIcon->show();
        mShown = true;
        return true;
    case NotifyMessage::Modify:
        if (!mShown || data.hWnd != mOwner)
            return false;
        mIcon->setIcon(data.hIcon);
        mIcon->setToolTip(tipText(data));
        return true;
    case NotifyMessage::Delete:
        if (!mShown || data.hWnd != mOwner)
            return false;
        mIcon->hide();
        mShown = false;
        return true;
    }
    return false;
}

void QtNotifyIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    // On an XEmbed tray the first click of a double-click arrives as Trigger; only the
    // double-click itself restores the window.
    if (reason == QSystemTrayIcon::DoubleClick || (mStatusNotifierHost && reason == QSystemTrayIcon::Trigger))
        deliver(kWmLButtonDblClk);
    else if (reason == QSystemTrayIcon::Context)
        deliver(kWmRButtonUp);
}

void QtNotifyIcon::setContextMenu(QMenu* menu)
{
    if (mStatusNotifierHost)
        mIcon->setContextMenu(menu);
}

void QtNotifyIcon::deliver(int code)
{
    if (mShown && mHandler)
        mHandler(mOwner, mCallbackMessage, code);
}
