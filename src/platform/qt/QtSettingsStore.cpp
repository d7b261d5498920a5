#include "platform/qt/QtSettingsStore.h"

#include "app/UserFolders.h"
#include "platform/qt/IniText.h"
#include "platform/qt/SettingsFile.h"

#include <QSettings>

namespace {

QString valueAsText(const QVariant& value)
{
    // An unquoted value with commas reads back as a list; the store holds text only.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

} // namespace

QString QtSettingsStore::filePath(const QString& application)
{
    return UserFolders::configHome() + QLatin1Char('/') + application + QStringLiteral(".ini");
}

QString QtSettingsStore::read(const QString& application, const QString& section, const QString& key,
                              const QString& defaultText)
{
    QSettings settings(filePath(application), QSettings::IniFormat);
    settings.beginGroup(section);
    if (!settings.contains(key))
        return defaultText;
    return valueAsText(settings.value(key));
}

void QtSettingsStore::write(const QString& application, const QString& section, const SettingsValues& values)
{
    const SettingsFile file(filePath(application));
    file.replace(IniText::withGroup(file.read(), section, values));
}
