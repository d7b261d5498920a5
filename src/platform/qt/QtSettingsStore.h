#pragma once

#include "platform/ISettingsStore.h"

// The settings store as one INI file per application in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config): "<application>.ini", section = group. Reading goes
// through QSettings; a save rewrites the one group and replaces the file at once.
class QtSettingsStore : public ISettingsStore
{
public:
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultText) override;
    void write(const QString& application, const QString& section, const SettingsValues& values) override;

    static QString filePath(const QString& application);
};
