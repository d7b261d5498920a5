#include "platform/qt/Autostart.h"

#include "app/Identity.h"
#include "app/MenuEntry.h"
#include "platform/files/FileReplacement.h"

#include <QDir>
#include <QFile>
#include <QList>

Autostart::Autostart(const QString& configHome)
    : mEntryPath(configHome + QStringLiteral("/autostart/") + identity::kApplicationId +
                 QStringLiteral(".desktop"))
{
}

QString Autostart::turnOn() const
{
    const QString folder = QFileInfo(mEntryPath).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the folder ") + folder;
    // A link at the entry's path is replaced rather than followed to a file it points at.
    if (const QString problem = FileReplacement::replace(mEntryPath, entryText(), 0644); !problem.isEmpty())
        return QStringLiteral("cannot write ") + mEntryPath + QStringLiteral(": ") + problem;
    return QString();
}

QString Autostart::turnOff() const
{
    QFile file(mEntryPath);
    if (file.remove() || !QFileInfo(mEntryPath).exists())
        return QString();
    return QStringLiteral("cannot remove ") + mEntryPath + QStringLiteral(": ") + file.errorString();
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
