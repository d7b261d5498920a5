#pragma once

#include "platform/IShell.h"

#include <QDesktopServices>
#include <QUrl>

class QtShell : public IShell
{
public:
    void openUrl(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }
};
