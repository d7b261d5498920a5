#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "cli/AddressSources.h"
#include "cli/Runs.h"
#include "history/HistoryRecorder.h"
#include "platform/Failure.h"
#include "platform/files/RegularFile.h"
#include "platform/qt/ConsoleWindowing.h"
#include "platform/qt/EndNow.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/ServiceNotifier.h"
#include "platform/qt/SettingsFile.h"
#include "platform/qt/TerminationSignals.h"
#include "update/ConsoleLog.h"
#include "watch/Watcher.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>

// Keeps the name right without a window until SIGTERM or SIGINT.
int run(const CommandLine::Watch& request, int argc, char* argv[])
{
    // The signals a watcher acts on are held back until its handlers are in place: the default
    // action of SIGHUP and SIGUSR1 would end it.
    sigset_t held;
    sigemptyset(&held);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaddset(&held, number);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    prepareConsole();
    QCoreApplication app(argc, argv);
    ConsoleWindowing windowing({SIGTERM, SIGINT});
    TerminationSignals requests({SIGHUP, SIGUSR1});
    // Those that came meanwhile arrive now.
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
    const ConsoleLog log(stdout, stderr, request.quiet, ConsoleLog::WhenStalled::Drop);

    QtClock clock;
    const HistoryRecorder recorder(History(), HistoryEntry::Runner::Watch, clock);
    InstanceLock lock = InstanceLock::forWatcher(recorder.history().folder());
    try {
        RegularFile::makeFolder(recorder.history().folder());
        if (!lock.tryTake()) {
            log.complain(QStringLiteral("a watcher is already running") + lock.holderNote());
            return exitstatus::kAlreadyRunning;
        }
    } catch (const Failure& failure) {
        // Without a lock this watcher cannot tell whether another runs; it runs rather than not at all.
        log.complain(failure.description);
    }

    QtSettingsStore store;
    QtSecretStore secrets(identity::kApplicationId);
    QtSocket socket;
    QtDialup dialup;
    AddressSources sources(clock);
    const QString settingsFile = QtSettingsStore::filePath(identity::kTitle);
    WatcherTiming timing;
    timing.refresh = std::chrono::hours(24) * request.refreshDays;
    Watcher watcher({socket, store, secrets, dialup, sources.addresses, sources.router, sources.lookup,
                     windowing, clock, recorder, [settingsFile] { return SettingsFile::stamp(settingsFile); },
                     settingsFile, &ServiceNotifier::status},
                    log, timing);
    windowing.setEndRequestHandler([&watcher] {
        ServiceNotifier::stopping();
        watcher.stop();
        QCoreApplication::quit();
    });
    QObject::connect(&requests, &TerminationSignals::received, &watcher, [&watcher](int signalNumber) {
        if (signalNumber == SIGHUP)
            watcher.rereadSettings();
        else
            watcher.postNow();
    });
    // Started from the event loop, so that an end asked for meanwhile goes to a loop that runs.
    QTimer::singleShot(0, &watcher, [&watcher] {
        if (!watcher.start())
            QCoreApplication::exit(exitstatus::kUnreadable);
        else
            ServiceNotifier::ready();
    });
    // A name lookup still running in its thread would hold the end back for seconds.
    endNow(QCoreApplication::exec());
}
