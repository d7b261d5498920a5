#include "platform/qt/QtNotifyIcon.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

namespace {

QString tipText(const NotifyIconData& data)
{
    return QString::fromLatin1(data.szTip.data(), qsizetype(qstrnlen(data.szTip.data(), data.szTip.size())));
}

} // namespace

QtNotifyIcon::QtNotifyIcon()
    : mIcon(new QSystemTrayIcon(this)), mAvailable(QSystemTrayIcon::isSystemTrayAvailable())
{
    mIcon->setObjectName(QStringLiteral("trayIcon"));
    connect(mIcon, &QSystemTrayIcon::activated, this, &QtNotifyIcon::activated);

    // Only the moments are watched for here; whether a tray is there is asked of Qt again. An
    // XEmbed tray manager comes and goes on the X server, a StatusNotifier watcher on the bus.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // The xcb native interface is a QObject of a class Qt keeps to itself.
        if (auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface()))
            connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(trayChanged()));
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &QtNotifyIcon::trayChanged);
    }
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
        show();
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

// A StatusNotifier host shows the exported popup menu itself; on an XEmbed tray Qt would pop
// it up on the button press, past the window's own handling, so there it is taken back.
void QtNotifyIcon::show()
{
    mIcon->setContextMenu(mMenu);
    mIcon->show();
    if (!statusNotifierItem())
        mIcon->setContextMenu(nullptr);
}

void QtNotifyIcon::showMessage(const QString& title, const QString& text, bool warning)
{
    if (!mShown)
        return;
    // A StatusNotifier item's message goes to the desktop's notification server, which may read
    // markup in it: a server's words must not become links or pictures there. The balloon of an
    // XEmbed tray shows plain text.
    const QString shown = statusNotifierItem() ? text.toHtmlEscaped() : text;
    mIcon->showMessage(title, shown, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

void QtNotifyIcon::trayChanged()
{
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == mAvailable)
        return;
    mAvailable = available;
    if (mAvailabilityHandler)
        mAvailabilityHandler();
}

void QtNotifyIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    // On an XEmbed tray the first click of a double-click arrives as Trigger; only the
    // double-click itself restores the window.
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && statusNotifierItem()))
        deliver(kWmLButtonDblClk);
    else if (reason == QSystemTrayIcon::Context)
        deliver(kWmRButtonUp);
}

void QtNotifyIcon::deliver(int code)
{
    if (mShown && mHandler)
        mHandler(mOwner, mCallbackMessage, code);
}
