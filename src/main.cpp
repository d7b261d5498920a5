#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/Identity.h"
#include "app/UserFolders.h"
#include "history/HistoryRecorder.h"
#include "oneshot/OneShotRun.h"
#include "platform/Failure.h"
#include "platform/files/RegularFile.h"
#include "platform/qt/Autostart.h"
#include "platform/qt/ConsoleWindowing.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtAddressWatch.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtNotifyIcon.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtSocket.h"
#include "platform/qt/QtWindowing.h"
#include "platform/qt/ServiceNotifier.h"
#include "platform/qt/SessionEnvironment.h"
#include "platform/qt/SettingsFile.h"
#include "platform/qt/TerminationSignals.h"
#include "settings/CSettings.h"
#include "ui/frmMain.h"
#include "watch/Watcher.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <functional>
#include <iostream>

namespace {

// Ends the process once everything is said and recorded, without waiting for the threads of
// name lookups that have not answered; the locks go with the process.
[[noreturn]] void endAtOnce(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

// One conversation, a look at the settings or the history, or a move of the password, with no
// window and no display needed. The request answers with the exit status, on the event loop or
// at once.
int runOnce(int argc, char* argv[], const std::function<void(OneShotRun&, OneShotRun::Done)>& request)
{
    // A reader that goes away (a pipe into "head") must not end the conversation halfway.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QtSettingsStore settingsStore;
    QtSecretStore secrets(identity::kApplicationId);
    QtSocket socket;
    ConsoleWindowing windowing;
    QtClock clock;
    OneShotRun run(socket, settingsStore, secrets, windowing, clock,
                   QtSettingsStore::filePath(identity::kTitle));
    std::optional<int> answered;
    request(run, [&answered](int status) {
        answered = status;
        QCoreApplication::exit(status);
    });
    const int status = answered ? *answered : QCoreApplication::exec();
    // A lookup that never answers would hold the end back for minutes.
    if (socket.lookupRunning())
        endAtOnce(status);
    return status;
}

// Moves the password, or says where it is.
void passwordStore(OneShotRun& run, CommandLine::PasswordStoreRequest request, const OneShotRun::Done& done)
{
    using Request = CommandLine::PasswordStoreRequest;
    if (request == Request::Show)
        return run.passwordStore(std::nullopt, done);
    // The window writes the settings back when it ends, the password where it found it: none may
    // run during a move, and none starts while this holds the window's lock.
    auto window = std::make_shared<InstanceLock>(identity::kTitle);
    try {
        if (!window->tryTake()) {
            const QString holder = window->holder();
            ConsoleLog(stdout, stderr, false)
                .complain(QStringLiteral("the program runs in its window, or moves the password already") +
                          (holder.isEmpty() ? QString()
                                            : QStringLiteral(" (process ") + holder + QLatin1Char(')')) +
                          QStringLiteral(
                              "; a window would put the password back where it found it, so end it first"));
            return done(exitstatus::kAlreadyRunning);
        }
    } catch (const Failure&) {
        // No lock can be made here, nor by a window: the move goes ahead, as a window would.
    }
    run.passwordStore(request == Request::Keyring ? PasswordPlace::Keyring : PasswordPlace::File,
                      [window, done](int status) { done(status); });
}

// The signals a watcher acts on. Until its handlers are in place they are held back: the
// default action of SIGHUP and SIGUSR1 would end it.
const sigset_t& watcherSignals()
{
    static const sigset_t held = [] {
        sigset_t set;
        sigemptyset(&set);
        for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
            sigaddset(&set, number);
        return set;
    }();
    return held;
}

// Keeps the name right without a window until SIGTERM or SIGINT.
int runWatch(int argc, char* argv[], const CommandLine::Watch& request)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    ConsoleWindowing windowing({SIGTERM, SIGINT});
    TerminationSignals requests({SIGHUP, SIGUSR1});
    // Held back since the start (see main); those that came meanwhile arrive now.
    sigprocmask(SIG_UNBLOCK, &watcherSignals(), nullptr);
    const ConsoleLog log(stdout, stderr, request.quiet, ConsoleLog::WhenStalled::Drop);

    // The lock lives beside the history it guards, so that one user has one watcher whatever
    // the environment it was started in (a login with a runtime folder, a cron job without).
    const HistoryRecorder recorder(History(), HistoryEntry::Runner::Watch);
    InstanceLock lock(QStringLiteral("watch"), recorder.history().folder());
    try {
        RegularFile::makeFolder(recorder.history().folder());
        if (!lock.tryTake()) {
            const QString holder = lock.holder();
            log.complain(
                QStringLiteral("a watcher is already running") +
                (holder.isEmpty() ? QString() : QStringLiteral(" (process ") + holder + QLatin1Char(')')));
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
    QtAddressWatch addresses;
    QtClock clock;
    const QString settingsFile = QtSettingsStore::filePath(identity::kTitle);
    WatcherTiming timing;
    timing.refresh = std::chrono::hours(24) * request.refreshDays;
    // For the tests only: they cannot wait minutes for a second try.
    if (const int pause = qEnvironmentVariableIntValue("CORVANE_WATCH_FIRST_PAUSE_MS"); pause > 0)
        timing.firstRetry = std::chrono::milliseconds(pause);
    Watcher watcher({socket, store, secrets, dialup, addresses, windowing, clock, recorder,
                     [settingsFile] { return SettingsFile::stamp(settingsFile); }, settingsFile,
                     &ServiceNotifier::status},
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
    // Started from the event loop: an end asked for while the first post waits for the keyring
    // then ends that wait and the loop, instead of going to a loop not yet running.
    QTimer::singleShot(0, &watcher, [&watcher] {
        if (!watcher.start())
            QCoreApplication::exit(exitstatus::kUnreadable);
        else
            ServiceNotifier::ready();
    });
    // A name lookup still running in its thread would hold the end back for seconds.
    endAtOnce(QCoreApplication::exec());
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto usage = CommandLine::usageError(arguments)) {
        std::cerr << *usage;
        return exitstatus::kUsage;
    }
    if (const auto text = CommandLine::informationRequest(arguments)) {
        std::cout << *text;
        return 0;
    }
    const auto watch = CommandLine::watchRequest(arguments);
    if (watch)
        sigprocmask(SIG_BLOCK, &watcherSignals(), nullptr);
    // The keyring is asked over the session bus: runs from scripts find the session's bus, and
    // none starts a bus of its own.
    SessionEnvironment::apply();
    if (const auto oneShot = CommandLine::oneShotRequest(arguments))
        return runOnce(argc, argv, [&oneShot](OneShotRun& run, const OneShotRun::Done& done) {
            if (oneShot->operation)
                run.run(*oneShot->operation, oneShot->quiet, done);
            else
                run.printSettings(done);
        });
    if (watch)
        return runWatch(argc, argv, *watch);
    if (const auto count = CommandLine::historyRequest(arguments))
        return runOnce(argc, argv, [count](OneShotRun& run, const OneShotRun::Done& done) {
            done(run.printHistory(*count));
        });
    if (const auto request = CommandLine::passwordStoreRequest(arguments))
        return runOnce(argc, argv, [request](OneShotRun& run, const OneShotRun::Done& done) {
            passwordStore(run, *request, done);
        });
    if (const auto status = Autostart(UserFolders::configHome()).request(arguments, std::cout, std::cerr))
        return *status;

    if (!SessionEnvironment::displayAvailable(QProcessEnvironment::systemEnvironment(), arguments)) {
        std::cerr << identity::kProgram.toStdString()
                  << ": there is no display to show the window on (DISPLAY is not set); --update, --offline, "
                     "--status and --watch run without one\n";
        return exitstatus::kRefused;
    }
    QApplication app(argc, argv);
    // Panels and task bars match the windows to the menu entry and its icon by these, and a
    // StatusNotifier panel shows the application name as the item's Id and Title. The title is
    // the display name by way of the application name: a display name set of its own would be
    // appended to every window caption.
    QGuiApplication::setDesktopFileName(identity::kApplicationId);
    QCoreApplication::setApplicationName(identity::kTitle);
    QApplication::setQuitOnLastWindowClosed(false);

    QtWindowing windowing;
    QtSettingsStore settingsStore;
    QtSecretStore secrets(identity::kApplicationId);
    QtSocket socket;
    QtDialup dialup;
    QtNotifyIcon notifyIcon;
    QtShell shell;
    QtClock clock;

    frmMain window(
        PlatformServices{socket, settingsStore, dialup, notifyIcon, shell, windowing, secrets, clock});
    QObject::connect(&window, &frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    window.load();
    if (window.isUnloaded())
        return 0;
    return QApplication::exec();
}
