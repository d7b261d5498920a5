#pragma once

#include "platform/ISettingsStore.h"

// The settings store as one INI file per application in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config): "<application>.ini", section = group.
class QtSettingsStore : public ISettingsStore
{
public:
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultText) override;
    void write(const QString& application, const QString& section, const QString& key,
               const QString& text) override;

    static QString filePath(const QString& application);
};
