#pragma once

#include "platform/INotifyIcon.h"

#include <QIcon>
#include <QString>

// Owns one notification-area icon: its owner window, picture and tip, and the notification
// record sent with every request. Releasing the object does not remove a shown icon.
class CTrayIcon
{
public:
    static constexpr int kTipField = 64;

    explicit CTrayIcon(INotifyIcon& service);

    QIcon Icon() const { return mIcon; }
    void setIcon(const QIcon& icon) { mIcon = icon; }
    quintptr hWnd() const { return mWnd; }
    void sethWnd(quintptr window) { mWnd = window; }
    // The tip as set, without the NUL and the blanks that fill the field.
    QString Tip() const;
    // Keeps at most 63 characters, then a NUL, then blanks up to 64.
    void setTip(const QString& tip);

    void Add() { send(NotifyMessage::Add); }
    void Remove();
    void Update() { send(NotifyMessage::Modify); }

private:
    void send(NotifyMessage message);

    INotifyIcon& mService;
    quintptr mWnd = 0;
    QIcon mIcon;
    QString mTipField;
    NotifyIconData mRecord;
};
