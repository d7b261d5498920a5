#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

// The real program run as a script runs it: no display (neither a platform chosen nor an X
// server named), and its settings, history and lock in a home folder of the test's own.
struct ScriptRun
{
    static constexpr int kWaitMs = 60000;

    explicit ScriptRun(QString programPath) : program(std::move(programPath))
    {
        QDir(home.path()).mkpath(QStringLiteral("config"));
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString settingsFile() const { return home.filePath(QStringLiteral("config/Corvane DynDNS.ini")); }

    // variables ("NAME=value") override the rest.
    QProcessEnvironment environment(const QStringList& variables = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), QString());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        for (const QString& variable : variables)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        return env;
    }

    // The exit status: -1 when the program did not end in time, -2 when it crashed.
    int run(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr,
            const QStringList& variables = {}) const
    {
        QProcess process;
        process.setProcessEnvironment(environment(variables));
        process.setWorkingDirectory(home.path());
        // The event loop runs meanwhile: a server of the test's own may be answering.
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(program, arguments);
        if (!finished.wait(kWaitMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (out)
            *out = process.readAllStandardOutput();
        if (err)
            *err = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    QString program;
    QTemporaryDir home;
};
