#pragma once

#include "platform/IShell.h"

class QtShell : public IShell
{
public:
    void openUrl(const QString& url) override;
};
