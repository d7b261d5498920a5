#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QString>

// Starting at login: a copy of the menu entry whose Exec adds --minimize, kept in the autostart
// folder of the user's configuration folder, where desktop sessions look for it.
class Autostart
{
public:
    // configHome is the user's configuration folder (UserFolders::configHome()).
    explicit Autostart(const QString& configHome);

    QString entryPath() const { return mEntryPath; }
    bool isOn() const { return QFileInfo(mEntryPath).isFile(); }
    // Each says why the entry could not be written or removed, or nothing: nothing is left
    // half-written, and a link at the entry's path is replaced or removed, never written through.
    QString turnOn() const;
    QString turnOff() const;

    static QByteArray entryText();

private:
    QString mEntryPath;
};
