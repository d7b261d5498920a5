#pragma once

#include <QString>

// Opens a URL with the user's default handler. Failures are silent.
class IShell
{
public:
    virtual ~IShell() = default;
    virtual void openUrl(const QString& url) = 0;
};
