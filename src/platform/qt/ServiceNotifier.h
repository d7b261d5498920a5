#pragma once

#include <QString>

// What a service manager that started the program (systemd, through $NOTIFY_SOCKET) is told:
// that the program is ready, what it did last, that it is stopping. Nothing is sent when no
// manager listens.
namespace ServiceNotifier {

// The program can take requests now (its signal handlers are in place): a reload that the
// manager held back since the start goes to it from here on.
void ready();
// One line for "systemctl status".
void status(const QString& status);
void stopping();

} // namespace ServiceNotifier
