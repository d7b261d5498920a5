#include "platform/qt/QtSettingsStore.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kSource = QStringLiteral("SettingsStore");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString valueAsText(const QVariant& value)
{
    // An unquoted value with commas reads back as a list; the store holds text only.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// The file holds the password in plain text: it is created for its owner alone, before
// anything is written to it, and kept so.
void createPrivately(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly))
            throw Failure(75,
                          QStringLiteral("Path/File access error: ") + file.errorString() +
                              QStringLiteral(" (") + path + QLatin1Char(')'),
                          kSource);
        file.close();
    }
    file.setPermissions(kOwnerOnly);
}

} // namespace

QString QtSettingsStore::filePath(const QString& application)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           application + QStringLiteral(".ini");
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

void QtSettingsStore::write(const QString& application, const QString& section, const QString& key,
                            const QString& text)
{
    const QString path = filePath(application);
    createPrivately(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, text);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(75, QStringLiteral("Path/File access error: cannot write ") + path, kSource);
    QFile::setPermissions(path, kOwnerOnly);
}
