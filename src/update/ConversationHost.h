#pragma once

#include <QString>

// What the update client needs of the main window that hosts it.
class ConversationHost
{
public:
    virtual ~ConversationHost() = default;

    virtual void AppendLog(const QString& text) = 0;
    virtual void EnableMenus(bool enabled) = 0;
    // Sets the tray icon's tip and passes it to the notification area.
    virtual void setTrayTip(const QString& tip) = 0;
    // Stops the connection monitor and closes the main window, which ends the program.
    virtual void endProgram() = 0;
};
