#pragma once

#include "app/UserFolders.h"
#include "platform/ISettingsStore.h"

#include <QByteArray>
#include <QHash>

#include <optional>

// The settings store as one INI file per application in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config): "<application>.ini", section = group. A read takes
// the group's values as text; a save rewrites the one group and replaces the file at once.
class QtSettingsStore : public ISettingsStore
{
public:
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultText) override;
    void write(const QString& application, const QString& section, const SettingsValues& values,
               const QStringList& removed = {}) override;

    static QString filePath(const QString& application)
    {
        return UserFolders::configHome() + QLatin1Char('/') + application + QStringLiteral(".ini");
    }

private:
    // The group last read, kept until the file changes: a load reads ten keys of one file.
    struct Loaded
    {
        QString path;
        QString section;
        QByteArray stamp;
        QHash<QString, QString> values;
    };
    std::optional<Loaded> mLoaded;
};
