#include "app/Autostart.h"

#include "app/FileReplacement.h"
#include "app/Identity.h"
#include "app/MenuEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

Autostart::Autostart(const QString& configHome)
    : mEntryPath(configHome + QStringLiteral("/autostart/") + identity::kApplicationId +
                 QStringLiteral(".desktop"))
{
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
    // A link at the entry's path is replaced rather than followed to a file it points at.
    if (const QString problem = FileReplacement::replace(mEntryPath, entryText(), 0644); !problem.isEmpty()) {
        error = QStringLiteral("cannot write ") + mEntryPath + QStringLiteral(": ") + problem;
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
