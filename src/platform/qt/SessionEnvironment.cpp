#include "platform/qt/SessionEnvironment.h"

#include "app/UserFolders.h"

#include <algorithm>
#include <unistd.h>

namespace SessionEnvironment {

QByteArray platformPlugin(const QProcessEnvironment& environment)
{
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
                         environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty() || !wayland ||
        environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return QByteArray();
    return QByteArrayLiteral("xcb");
}

QByteArray sessionBusAddress(const QProcessEnvironment& environment)
{
    if (!environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")).isEmpty())
        return QByteArray();
    QString folder = UserFolders::runtimeFolder(environment);
    if (folder.isEmpty())
        folder = QStringLiteral("/run/user/") + QString::number(::getuid());
    return "unix:path=" + folder.toLocal8Bit() + "/bus";
}

bool displayAvailable(const QProcessEnvironment& environment, const std::vector<std::string>& arguments)
{
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!environment.value(QLatin1String(variable)).isEmpty())
            return true;
    }
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "-platform" || argument == "--platform";
    });
}

void apply()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (const QByteArray plugin = platformPlugin(environment); !plugin.isEmpty())
        qputenv("QT_QPA_PLATFORM", plugin);
    if (const QByteArray address = sessionBusAddress(environment); !address.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

} // namespace SessionEnvironment
