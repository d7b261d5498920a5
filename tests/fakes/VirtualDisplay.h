#pragma once

#include "app/Identity.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

// A virtual X server for end-to-end tests, with the xdotool look-ups they share, and a
// throwaway home for the program (settings and runtime folders).
class VirtualDisplay
{
public:
    static constexpr int kWaitMs = 30000;
    static constexpr int kToolMs = 5000;

    // The loaded main window's caption, and as a whole-name pattern for xdotool's --name.
    static QString mainWindowCaption()
    {
        return frmMain::caption(identity::kTitle, {{identity::kMajor, identity::kMinor}});
    }
    static QString mainWindowName() { return QLatin1Char('^') + mainWindowCaption() + QLatin1Char('$'); }

    VirtualDisplay()
    {
        QDir(mHome.path()).mkpath(QStringLiteral("config"));
        QDir(mHome.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    ~VirtualDisplay()
    {
        if (mServer.state() != QProcess::NotRunning) {
            mServer.terminate();
            mServer.waitForFinished(5000);
        }
    }

    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Starts Xvfb on a display it picks itself, or on the one given; false when it did not
    // come up.
    bool start(int display = -1)
    {
        // Servers that start together may both take over a stale lock of the same display;
        // the tests' own servers start one at a time.
        QLockFile startLock(QDir::tempPath() + QStringLiteral("/corvane-tests-xvfb.lock"));
        startLock.setStaleLockTime(0);
        startLock.lock();
        // What the server says goes with the test's own output: it is quiet unless it fails.
        mServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // An X server starts afresh whenever its last client leaves, and refuses whoever
        // connects meanwhile; the look-ups come and go all the time, so it must not.
        QStringList arguments{QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"),    QStringLiteral("0"),
                              QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"),        QStringLiteral("-noreset")};
        if (display >= 0)
            arguments.prepend(QLatin1Char(':') + QString::number(display));
        mServer.start(QStringLiteral("Xvfb"), arguments);
        if (!mServer.waitForStarted())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!mServer.canReadLine() && waited.elapsed() < kWaitMs)
            mServer.waitForReadyRead(100);
        if (!mServer.canReadLine())
            return false;
        mDisplay = QLatin1Char(':') + QString::fromLatin1(mServer.readLine().trimmed());
        return true;
    }

    // Starts a window manager (openbox) on this display; true once it manages windows. A window
    // mapped while openbox is still starting up may never be managed, so it is not enough that
    // openbox has claimed the display: it runs a command of ours once its start-up is over.
    bool startWindowManager(QProcess& manager) const
    {
        const QString ready = mHome.filePath(QStringLiteral("window-manager-ready"));
        QFile::remove(ready);
        manager.setProcessEnvironment(toolEnvironment());
        manager.start(QStringLiteral("openbox"),
                      {QStringLiteral("--startup"), QStringLiteral("touch '%1'").arg(ready)});
        if (!manager.waitForStarted())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kWaitMs) {
            if (QFile::exists(ready) && run({QStringLiteral("xprop"), QStringLiteral("-root"),
                                             QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                                            .contains(QStringLiteral("window id")))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    // Whether the server still runs and answers, for a failure's message.
    QString state() const
    {
        if (mServer.state() != QProcess::Running)
            return QStringLiteral("the X server has ended (%1)").arg(mServer.exitCode());
        const QString info = run({QStringLiteral("xdpyinfo")});
        return info.isEmpty() ? QStringLiteral("the X server runs but does not answer")
                              : QStringLiteral("the X server runs and answers");
    }

    QString configFolder() const { return mHome.filePath(QStringLiteral("config")); }
    QString runtimeFolder() const { return mHome.filePath(QStringLiteral("runtime")); }
    QString stateFolder() const { return mHome.filePath(QStringLiteral("state")); }
    QString settingsFile() const { return configFolder() + QStringLiteral("/Corvane DynDNS.ini"); }

    QProcessEnvironment toolEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), mDisplay);
        return env;
    }

    // The program on this display, with its settings in the throwaway home.
    QProcessEnvironment programEnvironment() const
    {
        QProcessEnvironment env = toolEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder());
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateFolder());
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return env;
    }

    // Runs a tool against the display and returns what it printed. A tool that hangs (xclip
    // waiting on a silent selection owner, say) is ended after a few seconds.
    QString run(const QStringList& command) const
    {
        QProcess tool;
        tool.setProcessEnvironment(toolEnvironment());
        tool.start(command.first(), command.mid(1));
        if (!tool.waitForFinished(kToolMs)) {
            tool.kill();
            tool.waitForFinished();
        }
        return QString::fromLatin1(tool.readAllStandardOutput());
    }

    QStringList visibleWindows(const QString& how, const QString& pattern) const
    {
        return run({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--onlyvisible"), how,
                    pattern})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    bool windowShown(const QString& titlePattern) const
    {
        return !visibleWindows(QStringLiteral("--name"), titlePattern).isEmpty();
    }

private:
    QProcess mServer;
    QString mDisplay;
    QTemporaryDir mHome;
};
