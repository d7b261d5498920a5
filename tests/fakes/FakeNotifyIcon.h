#pragma once

#include "platform/INotifyIcon.h"

#include <QList>

// Records every request with its record, and lets the test raise events on the icon.
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

    void raise(int code)
    {
        if (mHandler && !requests.isEmpty())
            mHandler(requests.last().data.hWnd, requests.last().data.uCallbackMessage, code);
    }
    QString lastTip() const;

    QList<Request> requests;
    QMenu* contextMenu = nullptr;

private:
    EventHandler mHandler;
};

inline QString FakeNotifyIcon::lastTip() const
{
    if (requests.isEmpty())
        return QString();
    const auto& tip = requests.last().data.szTip;
    return QString::fromLatin1(tip.data(), static_cast<qsizetype>(qstrnlen(tip.data(), tip.size())));
}
