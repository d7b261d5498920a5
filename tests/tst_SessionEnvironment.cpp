#include "platform/qt/SessionEnvironment.h"

#include <QtTest>

#include <unistd.h>

namespace {
QProcessEnvironment environment(const QStringList& variables)
{
    QProcessEnvironment result;
    for (const QString& variable : variables)
        result.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    return result;
}
} // namespace

class tst_SessionEnvironment : public QObject
{
    Q_OBJECT
private slots:
    void platformPlugin_data();
    void platformPlugin();
    void sessionBusAddress_data();
    void sessionBusAddress();
};

void tst_SessionEnvironment::platformPlugin_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QByteArray>("plugin");
    QTest::newRow("Wayland with XWayland")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << QByteArray("xcb");
    QTest::newRow("Wayland session type with XWayland")
        << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=:1"} << QByteArray("xcb");
    QTest::newRow("Wayland without XWayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << QByteArray();
    QTest::newRow("the user's choice")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM=wayland"} << QByteArray();
    QTest::newRow("X11") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << QByteArray();
}

void tst_SessionEnvironment::platformPlugin()
{
    QFETCH(QStringList, variables);
    QFETCH(QByteArray, plugin);
    QCOMPARE(SessionEnvironment::platformPlugin(environment(variables)), plugin);
}

void tst_SessionEnvironment::sessionBusAddress_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("a bus is given") << QStringList{"DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/b",
                                                   "XDG_RUNTIME_DIR=/r"}
                                    << QByteArray();
    QTest::newRow("none given") << QStringList{"XDG_RUNTIME_DIR=/run/user/1000"}
                                << QByteArray("unix:path=/run/user/1000/bus");
    QTest::newRow("given empty") << QStringList{"DBUS_SESSION_BUS_ADDRESS=", "XDG_RUNTIME_DIR=/r"}
                                 << QByteArray("unix:path=/r/bus");
    QTest::newRow("relative runtime folder")
        << QStringList{"XDG_RUNTIME_DIR=run"}
        << QByteArray("unix:path=/run/user/" + QByteArray::number(::getuid()) + "/bus");
}

void tst_SessionEnvironment::sessionBusAddress()
{
    QFETCH(QStringList, variables);
    QFETCH(QByteArray, address);
    QCOMPARE(SessionEnvironment::sessionBusAddress(environment(variables)), address);
}

QTEST_GUILESS_MAIN(tst_SessionEnvironment)
#include "tst_SessionEnvironment.moc"
