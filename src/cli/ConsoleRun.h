#pragma once

#include "oneshot/OneShotRun.h"
#include "platform/qt/ConsoleWindowing.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSocket.h"

#include <QCoreApplication>

#include <functional>

// A run without a window and without a display: the services it uses, on the process's one
// event loop.
class ConsoleRun
{
public:
    ConsoleRun(int& argc, char* argv[]);

    // Runs the request until it answers with the exit status, on the event loop or at once. A
    // name lookup still running in its thread does not hold the end back.
    int until(const std::function<void(OneShotRun& run, OneShotRun::Done done)>& request);

private:
    // Before Qt starts.
    struct Setup
    {
        Setup();
    } mSetup;
    QCoreApplication mApplication;
    QtSettingsStore mSettingsStore;
    QtSecretStore mSecrets;
    QtSocket mSocket;
    ConsoleWindowing mWindowing;
    QtClock mClock;
    OneShotRun mRun;
};

// What every run without a window sets up before Qt starts: SIGPIPE ignored, the session's bus.
void prepareConsole();
