#pragma once

#include <QByteArray>
#include <QString>

// Starting at login: a copy of the menu entry whose Exec adds --minimize, kept in the autostart
// folder of the user's configuration folder, where desktop sessions look for it.
class Autostart
{
public:
    // configHome is the user's configuration folder: $XDG_CONFIG_HOME, by default ~/.config.
    explicit Autostart(const QString& configHome);
    static QString userConfigHome();

    QString entryPath() const { return mEntryPath; }
    bool isOn() const;
    // Each returns false, with the reason in error, when the entry could not be written or
    // removed; nothing is left half-written.
    bool turnOn(QString& error) const;
    bool turnOff(QString& error) const;

    static QByteArray entryText();

private:
    QString mEntryPath;
};
