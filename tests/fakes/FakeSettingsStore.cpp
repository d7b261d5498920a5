#include "FakeSettingsStore.h"

#include "platform/Failure.h"

QString FakeSettingsStore::path(const QString& application, const QString& key)
{
    return application + QStringLiteral("/Settings/") + key;
}

QString FakeSettingsStore::read(const QString& application, const QString& section, const QString& key,
                                const QString& defaultText)
{
    const QString where = application + QLatin1Char('/') + section + QLatin1Char('/') + key;
    reads.append(where);
    if (unreadable)
        throw Failure(failures::kPathFileAccess, QStringLiteral("Path/File access error: cannot read"),
                      QStringLiteral("FakeSettingsStore"));
    return values.value(where, defaultText);
}

void FakeSettingsStore::write(const QString& application, const QString& section, const SettingsValues& saved,
                              const QStringList& removed)
{
    for (const auto& [key, text] : saved) {
        if (key == refuseKey)
            throw Failure(failures::kPathFileAccess, QStringLiteral("Path/File access error"),
                          QStringLiteral("FakeSettingsStore"));
    }
    ++saves;
    for (const auto& [key, text] : saved) {
        writes.append(key);
        values.insert(application + QLatin1Char('/') + section + QLatin1Char('/') + key, text);
    }
    for (const QString& key : removed) {
        removals.append(key);
        values.remove(application + QLatin1Char('/') + section + QLatin1Char('/') + key);
    }
}
