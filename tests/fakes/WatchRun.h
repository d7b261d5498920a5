#pragma once

#include <QByteArray>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

// A watcher (the real program with --watch) and what it printed so far.
struct WatchRun
{
    static constexpr int kEndMs = 10000;

    QProcess process;
    QByteArray out;
    QByteArray err;

    ~WatchRun()
    {
        process.kill();
        process.waitForFinished();
    }

    const QByteArray& output()
    {
        out += process.readAllStandardOutput();
        return out;
    }
    int count(const char* text) { return int(output().count(text)); }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
    // Ends it with SIGTERM: its exit status.
    int stop()
    {
        signal(SIGTERM);
        if (!process.waitForFinished(kEndMs))
            return -1;
        output();
        err += process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }
};
