#pragma once

#include <QByteArray>
#include <QString>

// Starting at login: a copy of the menu entry whose Exec adds --minimize, kept in the autostart
// folder of the user's configuration folder, where desktop sessions look for it.
class Autostart
{
public:
    // configHome is the user's configuration folder (UserFolders::configHome()).
    explicit Autostart(const QString& configHome);

    QString entryPath() const { return mEntryPath; }
    bool isOn() const;
    // Each returns false, with the reason in error, when the entry could not be written or
    // removed; nothing is left half-written. A link at the entry's path is replaced or removed,
    // never written through.
    bool turnOn(QString& error) const;
    bool turnOff(QString& error) const;

    static QByteArray entryText();

private:
    QString mEntryPath;
};
