#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Keys and their text values, in the order they are saved.
using SettingsValues = QList<QPair<QString, QString>>;

// The per-user settings store: text values addressed by application, section and key.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;

    // The stored text, or defaultText when the key is absent. Never creates anything.
    virtual QString read(const QString& application, const QString& section, const QString& key,
                         const QString& defaultText) = 0;
    // Stores all the values and takes the removed keys away in one step, creating application,
    // section and keys as needed: afterwards the store holds every one of the changes, or, when
    // it throws Failure, none of them.
    virtual void write(const QString& application, const QString& section, const SettingsValues& values,
                       const QStringList& removed = {}) = 0;
};
