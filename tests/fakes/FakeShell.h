#pragma once

#include "platform/IShell.h"

#include <QStringList>

class FakeShell : public IShell
{
public:
    void openUrl(const QString& url) override { urls.append(url); }
    QStringList urls;
};
