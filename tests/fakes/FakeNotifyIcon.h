#pragma once

#include "platform/INotifyIcon.h"

#include <QList>

// Records every request with its record and every notification, and lets the test raise
// events on the icon and make a tray appear or go away.
class FakeNotifyIcon : public INotifyIcon
{
public:
    struct Request
    {
        NotifyMessage message;
        NotifyIconData data;
    };

    bool shellNotifyIcon(NotifyMessage message, const NotifyIconData& data) override
    {
        requests.append(Request{message, data});
        return true;
    }
    void setEventHandler(EventHandler handler) override { mHandler = std::move(handler); }
    void setContextMenu(QMenu* menu) override { contextMenu = menu; }
    bool trayAvailable() const override { return available; }
    void setAvailabilityHandler(std::function<void()> handler) override
    {
        mAvailabilityHandler = std::move(handler);
    }
    void showMessage(const QString& title, const QString& text, bool warning) override
    {
        messages.append(Message{title, text, warning});
    }

    void raise(int code)
    {
        if (mHandler && !requests.isEmpty())
            mHandler(requests.last().data.hWnd, requests.last().data.uCallbackMessage, code);
    }
    // A tray appears or goes away.
    void setAvailable(bool nowAvailable)
    {
        available = nowAvailable;
        if (mAvailabilityHandler)
            mAvailabilityHandler();
    }
    QString lastTip() const;

    struct Message
    {
        QString title;
        QString text;
        bool warning;
    };

    QList<Request> requests;
    QList<Message> messages;
    QMenu* contextMenu = nullptr;
    bool available = true;

private:
    EventHandler mHandler;
    std::function<void()> mAvailabilityHandler;
};

inline QString FakeNotifyIcon::lastTip() const
{
    if (requests.isEmpty())
        return QString();
    const auto& tip = requests.last().data.szTip;
    return QString::fromLatin1(tip.data(), static_cast<qsizetype>(qstrnlen(tip.data(), tip.size())));
}
