#pragma once

#include "platform/ISettingsStore.h"

#include <QMap>
#include <QString>
#include <QStringList>

// An in-memory settings store keyed "application/section/key"; it can refuse a write.
class FakeSettingsStore : public ISettingsStore
{
public:
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultText) override;
    void write(const QString& application, const QString& section, const SettingsValues& values,
               const QStringList& removed = {}) override;

    static QString path(const QString& application, const QString& key);

    QMap<QString, QString> values;
    QStringList writes;      // the keys in the order they were written
    QStringList removals;    // the keys taken away, in order
    QStringList reads;       // the paths in the order they were read
    QString refuseKey;       // a save holding this key fails, and stores nothing
    bool unreadable = false; // every read fails, as a file that cannot be read does
    int saves = 0;
};
