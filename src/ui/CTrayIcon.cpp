#include "ui/CTrayIcon.h"

#include <algorithm>

CTrayIcon::CTrayIcon(INotifyIcon& service) : mService(service)
{
    mRecord.cbSize = 88;
    mRecord.uID = 1;
    mRecord.uFlags = kNifMessage | kNifIcon | kNifTip;
    mRecord.uCallbackMessage = kWmMouseMove;
    setTip(QString());
}

QString CTrayIcon::Tip() const
{
    return mTipField.left(mTipField.indexOf(QChar(0)));
}

void CTrayIcon::setTip(const QString& tip)
{
    mTipField = (tip.left(kTipField - 1) + QChar(0)).leftJustified(kTipField, QLatin1Char(' '));
}

void CTrayIcon::Remove()
{
    mRecord.hWnd = mWnd;
    mService.shellNotifyIcon(NotifyMessage::Delete, mRecord);
}

void CTrayIcon::send(NotifyMessage message)
{
    mRecord.hWnd = mWnd;
    mRecord.hIcon = mIcon;
    // Characters outside Latin-1 go out as '?'.
    const QByteArray bytes = mTipField.toLatin1();
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kTipField), mRecord.szTip.begin());
    mService.shellNotifyIcon(message, mRecord);
}
