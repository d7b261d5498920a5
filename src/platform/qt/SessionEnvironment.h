#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

#include <string>
#include <vector>

// What the program sets in its own environment before Qt starts, from what the desktop
// session gives it.
namespace SessionEnvironment {

// "xcb" under a Wayland session with an X server reachable (XWayland) when the user chose no
// platform: a Wayland client is never told it was minimized, so it could not go into the
// tray. Empty leaves Qt's choice.
QByteArray platformPlugin(const QProcessEnvironment& environment);

// Where the per-user session bus would be, when no bus address is given: nothing answers
// there without a bus, and no bus daemon is started for the program that would outlive it.
// Empty leaves the address as it is.
QByteArray sessionBusAddress(const QProcessEnvironment& environment);

// Sets both in the process environment.
void apply();

// Whether the window has somewhere to go: a display named, or a Qt platform chosen (in the
// environment or by "-platform" on the command line). Without one Qt would abort.
bool displayAvailable(const QProcessEnvironment& environment, const std::vector<std::string>& arguments);

} // namespace SessionEnvironment
