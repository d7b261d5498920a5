#include "app/Autostart.h"

#include "app/Identity.h"
#include "app/MenuEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

Autostart::Autostart(const QString& configHome)
    : mEntryPath(configHome + QStringLiteral("/autostart/") + identity::kApplicationId +
                 QStringLiteral(".desktop"))
{
}

QString Autostart::userConfigHome()
{
    // The settings file lives here too.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

bool Autostart::isOn() const
{
    return QFileInfo(mEntryPath).isFile();
}

bool Autostart::turnOn(QString& error) const
{
    const QString folder = QFileInfo(mEntryPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder ") + folder;
        return false;
    }
    // Written beside the entry and renamed over it, so a failure leaves the old entry whole.
    QSaveFile file(mEntryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write ") + mEntryPath + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool Autostart::turnOff(QString& error) const
{
    QFile file(mEntryPath);
    if (file.remove() || !QFileInfo(mEntryPath).exists())
        return true;
    error = QStringLiteral("cannot remove ") + mEntryPath + QStringLiteral(": ") + file.errorString();
    return false;
}

QByteArray Autostart::entryText()
{
    QList<QByteArray> lines = QByteArray(menuentry::kText).split('\n');
    for (QByteArray& line : lines) {
        if (line.startsWith("Exec="))
            line += " --minimize";
    }
    return lines.join('\n');
}
