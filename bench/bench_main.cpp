// Figures for the activity log (time and memory), the reply handling, the turnaround from a
// reply to the next line, whole conversations on loopback (one, and a thousand in a row for the
// memory they leave behind), one save of a large settings file, one tick of the connection
// monitor, one line appended to a full history, and the watcher: its checks of the address and
// what it costs while nothing changes.

#include "FakeAddressWatch.h"
#include "FakeClock.h"
#include "FakePlatform.h"
#include "FakeRouter.h"
#include "LoadedWindow.h"
#include "UpdateServer.h"
#include "WindowPart.h"
#include "history/History.h"
#include "history/HistoryRecorder.h"
#include "monitor/ConnectionMonitor.h"
#include "platform/qt/QtAddressWatch.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSocket.h"
#include "session/UpdateSession.h"
#include "ui/ActivityLog.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"
#include "watch/Watcher.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <ctime>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <malloc.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QString kEntry = QStringLiteral("07.03.24 14:05:09 - Sending new host IP (192.0.2.10)...");

// A log box of the main window's size, on screen.
struct ShownLog
{
    ShownLog()
    {
        box.setLineWrapMode(QPlainTextEdit::NoWrap);
        box.resize(329, 217);
        box.show();
        QApplication::processEvents();
    }
    FakeWindowing windowing;
    QPlainTextEdit box;
    ActivityLog log{box, windowing};
};

// One append to a log that already holds state.range(0) entries.
void AppendLogToFilledLog(benchmark::State& state)
{
    ShownLog shown;
    ActivityLog& log = shown.log;
    for (int64_t i = 0; i < state.range(0); ++i)
        log.AppendLog(kEntry);
    QApplication::processEvents();
    for (auto _ : state)
        log.AppendLog(kEntry);
    state.counters["entries"] = static_cast<double>(state.range(0));
}
BENCHMARK(AppendLogToFilledLog)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// What a full log costs in memory: the heap taken by kMaxEntries entries in a shown box, per
// entry, and beyond the entry's own text (two bytes a character).
void LogMemoryPerEntry(benchmark::State& state)
{
    double perEntry = 0;
    for (auto _ : state) {
        ShownLog shown;
        const qint64 before = heapInUse();
        for (int i = 0; i < ActivityLog::kMaxEntries; ++i) {
            shown.log.AppendLog(kEntry);
            if (i % 100 == 0)
                QApplication::processEvents();
        }
        QApplication::processEvents();
        perEntry = static_cast<double>(heapInUse() - before) / ActivityLog::kMaxEntries;
    }
    state.counters["bytes_per_entry"] = perEntry;
    state.counters["beyond_text"] = perEntry - 2.0 * kEntry.size();
}
BENCHMARK(LogMemoryPerEntry)->Iterations(1)->Unit(benchmark::kMillisecond);

// A block of the most replies a conversation takes without progress, all with an unknown
// reply word.
void HandleRepliesWithoutProgress(benchmark::State& state)
{
    LoadedWindow w;
    const QByteArray block =
        QByteArray("XYZ nothing to see here\r\n").repeated(UpdateConversation::kMaxRepliesWithoutProgress);
    for (auto _ : state) {
        state.PauseTiming();
        part(*w.window, "mnuFileUpdateIP")->trigger();
        w.platform->socket.raiseConnect();
        state.ResumeTiming();
        w.platform->socket.raiseData(block);
        state.PauseTiming();
        if (!w.window->session().conversation().isRunning())
            state.SkipWithError("the conversation ended while handling the block");
        w.platform->socket.raiseError(0, QStringLiteral("end"));
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * block.size());
}
BENCHMARK(HandleRepliesWithoutProgress)->Unit(benchmark::kMicrosecond);

// The worst a hostile server can do to the window's log in one conversation: refusals that each
// carry 60,000 characters, more of them than the conversation takes without progress. Reports
// the CPU time of one such conversation (the window shown, its log drawn between the socket's
// reads) and the resident memory the log holds after every sixth; from the tenth on the log is
// full and drops its oldest entries.
void LongRefusalsIntoTheLog(benchmark::State& state)
{
    const QByteArray block = ("ERR " + QByteArray(60000, 'x') + "\r\n")
                                 .repeated(UpdateConversation::kMaxRepliesWithoutProgress + 100);
    constexpr qsizetype kPiece = 256 * 1024;
    LoadedWindow w;
    w.window->show();
    QApplication::processEvents();
    malloc_trim(0);
    const qint64 before = residentKiB();
    int conversations = 0;
    for (auto _ : state) {
        part(*w.window, "mnuFileUpdateIP")->trigger();
        w.platform->socket.raiseConnect();
        // In pieces the size of the real socket's read buffer, the window's events between them.
        for (qsizetype at = 0; at < block.size() && w.window->session().conversation().isRunning();
             at += kPiece) {
            w.platform->socket.raiseData(
                QByteArray::fromRawData(block.constData() + at, std::min(kPiece, block.size() - at)));
            QApplication::processEvents();
        }
        if (w.window->session().conversation().isRunning())
            state.SkipWithError("the conversation outlived its replies without progress");
        if (++conversations % 6 == 0) {
            state.PauseTiming();
            malloc_trim(0);
            state.counters["rss_growth_KiB_after_" + std::to_string(conversations)] =
                static_cast<double>(residentKiB() - before);
            state.ResumeTiming();
        }
    }
    state.counters["log_entries"] = part<QPlainTextEdit>(*w.window, "txtLog")->document()->blockCount() - 1;
}
BENCHMARK(LongRefusalsIntoTheLog)->Iterations(24)->Unit(benchmark::kMillisecond);

// A whole update conversation with the reference server on 127.0.0.1.
void WholeConversationOnLoopback(benchmark::State& state)
{
    UpdateServer server;
    server.addAccount(
        {QStringLiteral("bench"), QStringLiteral("pw"), {QStringLiteral("b.dyn.brevant.example")}});
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        state.SkipWithError("cannot listen on 127.0.0.1");
        return;
    }
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("Server"), QStringLiteral("127.0.0.1"));
    platform.storeSetting(QStringLiteral("Port"), QString::number(server.port()));
    platform.storeSetting(QStringLiteral("Username"), QStringLiteral("bench"));
    platform.storeSetting(QStringLiteral("Password"), QStringLiteral("pw"));
    platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("b"));
    QtSocket socket;
    {
        frmMain window(PlatformServices{socket, platform.store, platform.dialup, platform.notifyIcon,
                                        platform.shell, platform.windowing, platform.secrets,
                                        platform.clock});
        window.load();
        for (auto _ : state) {
            part(window, "mnuFileUpdateIP")->trigger();
            while (window.session().conversation().isRunning())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (server.accepted().size() != static_cast<qsizetype>(state.iterations()))
            state.SkipWithError("not every conversation was accepted by the server");
    }
    gSettings.discard();
}
BENCHMARK(WholeConversationOnLoopback)->Unit(benchmark::kMicrosecond);

// A plain blocking server on 127.0.0.1 that answers every line with "OK", after a pause in
// which the client has done with the last line (its log drawn and all), and "BYE" after
// "DONE". It measures, for every reply, the time until the client's next line is in.
class TurnaroundServer
{
public:
    TurnaroundServer()
    {
        mListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(mListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(mListen, 4) != 0 ||
            ::getsockname(mListen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        mPort = ntohs(address.sin_port);
        mThread = std::thread([this] { serve(); });
    }
    ~TurnaroundServer()
    {
        mStop = true;
        if (mThread.joinable())
            mThread.join();
        ::close(mListen);
    }

    quint16 port() const { return mPort; }
    std::vector<double> microseconds()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mSamples;
    }

private:
    void serve()
    {
        while (!mStop) {
            pollfd waiting{mListen, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0)
                continue;
            const int fd = ::accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            converse(fd);
            ::close(fd);
        }
    }

    void converse(int fd)
    {
        QByteArray pending;
        for (bool done = false; !done && !mStop;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            const auto sent = std::chrono::steady_clock::now();
            if (::write(fd, "OK\r\n", 4) != 4)
                return;
            while (!pending.contains('\n')) {
                char buffer[512];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                pending.append(buffer, n);
            }
            const auto heard = std::chrono::steady_clock::now();
            {
                const std::lock_guard<std::mutex> lock(mMutex);
                mSamples.push_back(std::chrono::duration<double, std::micro>(heard - sent).count());
            }
            const qsizetype end = pending.indexOf('\n');
            done = pending.left(end) == "DONE";
            pending.remove(0, end + 1);
        }
        if (::write(fd, "BYE\r\n", 5) != 5)
            return;
    }

    int mListen = -1;
    quint16 mPort = 0;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    std::mutex mMutex;
    std::vector<double> mSamples;
};

// The time from a reply's arrival to the next line on the wire, through the real socket,
// the event loop, the conversation and the log.
void ReplyTurnaround(benchmark::State& state)
{
    TurnaroundServer server;
    if (server.port() == 0) {
        state.SkipWithError("cannot listen on 127.0.0.1");
        return;
    }
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("Server"), QStringLiteral("127.0.0.1"));
    platform.storeSetting(QStringLiteral("Port"), QString::number(server.port()));
    QtSocket socket;
    {
        frmMain window(PlatformServices{socket, platform.store, platform.dialup, platform.notifyIcon,
                                        platform.shell, platform.windowing, platform.secrets,
                                        platform.clock});
        window.show();
        window.load();
        for (auto _ : state) {
            part(window, "mnuFileUpdateIP")->trigger();
            while (window.session().conversation().isRunning())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    gSettings.discard();
    std::vector<double> samples = server.microseconds();
    if (samples.empty()) {
        state.SkipWithError("no reply was answered");
        return;
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p90_us"] = samples[samples.size() * 9 / 10];
    state.counters["replies"] = static_cast<double>(samples.size());
}
BENCHMARK(ReplyTurnaround)->Iterations(200)->Unit(benchmark::kMicrosecond);

// A thousand whole conversations in one process against the reference server (a process of its
// own), with the log already at its bounded size: how much resident memory they leave behind.
void ThousandConversationsSoak(benchmark::State& state)
{
    QProcess server;
    server.start(QStringLiteral(CORVANE_UPDATE_SERVER),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"),
                  QStringLiteral("soak:pw:s.dyn.brevant.example")});
    if (!server.waitForReadyRead(10000)) {
        state.SkipWithError("the reference server did not start");
        return;
    }
    const QByteArray first = server.readLine().trimmed();
    const QString port = QString::fromLatin1(first.mid(first.lastIndexOf(':') + 1));
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("Server"), QStringLiteral("127.0.0.1"));
    platform.storeSetting(QStringLiteral("Port"), port);
    platform.storeSetting(QStringLiteral("Username"), QStringLiteral("soak"));
    platform.storeSetting(QStringLiteral("Password"), QStringLiteral("pw"));
    platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("s"));
    QtSocket socket;
    qint64 growthKiB = 0;
    int failed = 0;
    {
        frmMain window(PlatformServices{socket, platform.store, platform.dialup, platform.notifyIcon,
                                        platform.shell, platform.windowing, platform.secrets,
                                        platform.clock});
        window.show();
        window.load();
        for (int i = 0; i < ActivityLog::kMaxEntries; ++i)
            window.AppendLog(kEntry);
        const auto converse = [&](int times) {
            for (int i = 0; i < times; ++i) {
                part(window, "mnuFileUpdateIP")->trigger();
                while (window.session().conversation().isRunning())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                QCoreApplication::processEvents();
                if (!part<QPlainTextEdit>(window, "txtLog")
                         ->document()
                         ->lastBlock()
                         .previous()
                         .text()
                         .endsWith(QStringLiteral(" - Disconnected.")))
                    ++failed;
            }
        };
        for (auto _ : state) {
            converse(100); // warm up: caches, fonts, the socket's first allocations
            malloc_trim(0);
            const qint64 before = residentKiB();
            converse(1000);
            malloc_trim(0);
            growthKiB = residentKiB() - before;
        }
    }
    gSettings.discard();
    server.terminate();
    server.waitForFinished();
    state.counters["rss_growth_KiB"] = static_cast<double>(growthKiB);
    if (failed > 0)
        state.SkipWithError("some conversations did not end normally");
}
BENCHMARK(ThousandConversationsSoak)->Iterations(1)->Unit(benchmark::kMillisecond);

// One save of the ten keys into a settings file that holds 100 MB of other groups.
void SaveIntoALargeSettingsFile(benchmark::State& state)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QtSettingsStore store;
    {
        QFile file(QtSettingsStore::filePath(QStringLiteral("Corvane DynDNS")));
        if (!file.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the settings file");
            return;
        }
        const QByteArray group = "[Other]\nkey=" + QByteArray(1000, 'x') + "\n";
        for (int i = 0; i < 100 * 1000; ++i)
            file.write(group);
    }
    SettingsValues values;
    for (const char* key : {"Domain", "SubDomain", "Username", "Password", "Server", "Port", "CurrentIP",
                            "OtherIP", "UpdateOnConnection", "MinimizeToSystemTray"})
        values.append({QLatin1String(key), QStringLiteral("value")});
    for (auto _ : state)
        store.write(QStringLiteral("Corvane DynDNS"), QStringLiteral("Settings"), values);
    qunsetenv("XDG_CONFIG_HOME");
}
BENCHMARK(SaveIntoALargeSettingsFile)->Iterations(3)->Unit(benchmark::kMillisecond);

// One tick of the connection monitor with the real dial-up service of this machine.
void MonitorTickWithTheRealService(benchmark::State& state)
{
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("UpdateOnConnection"), QStringLiteral("True"));
    QtDialup dialup;
    {
        frmMain window(PlatformServices{platform.socket, platform.store, dialup, platform.notifyIcon,
                                        platform.shell, platform.windowing, platform.secrets,
                                        platform.clock});
        window.load();
        part<QTimer>(window, "tmrConnectionMonitor")->stop();
        for (auto _ : state)
            window.tmrConnectionMonitor_Timer();
        if (!platform.windowing.reports.isEmpty())
            state.SkipWithError("the tick reported a failure");
    }
    gSettings.discard();
}
BENCHMARK(MonitorTickWithTheRealService)->Unit(benchmark::kMicrosecond);

// One conversation's line appended to a history that holds its limit already, so that every
// append also trims it.
void AppendToAFullHistory(benchmark::State& state)
{
    QTemporaryDir folder;
    const History history(folder.filePath(QStringLiteral("history")));
    HistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.host = QStringLiteral("myhost.dyn.brevant.example");
    entry.address = QStringLiteral("192.0.2.10");
    entry.outcome = ConversationResult::Outcome::Accepted;
    entry.message = QStringLiteral("BYE see you");
    for (int i = 0; i < History::kMaxLines; ++i)
        history.append(entry);
    for (auto _ : state)
        history.append(entry);
}
BENCHMARK(AppendToAFullHistory)->Unit(benchmark::kMicrosecond);

// The real address watch behind a switch the benchmark throws: each throw is one check.
struct CheckedAddressWatch : IAddressWatch
{
    void findLocalAddress(const QString& server, quint16 port,
                          std::function<void(const QString&, const QString&)> done) override
    {
        real.findLocalAddress(server, port, std::move(done));
    }
    bool holdsAddress(const QString& address) const override { return real.holdsAddress(address); }
    void setChangeHandler(std::function<void()> handler) override { changed = std::move(handler); }

    QtAddressWatch real{60 * 60 * 1000};
    std::function<void()> changed;
};

// One check of the watcher when nothing has changed: the route to the server asked of the
// system (a UDP socket, nothing sent), the answer compared with the last. Reports the resident
// memory gained over 10,000 checks.
void WatcherCheckWithNothingChanged(benchmark::State& state)
{
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("Server"), QStringLiteral("192.0.2.1"));
    platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("myhost"));
    CheckedAddressWatch addresses;
    FakeRouter router;
    FakeAddressLookup lookup;
    QTemporaryDir folder;
    QtClock clock;
    const HistoryRecorder recorder(History(folder.filePath(QStringLiteral("history"))),
                                   HistoryEntry::Runner::Watch, clock);
    std::FILE* sink = std::fopen("/dev/null", "w");
    Watcher watcher({platform.socket, platform.store, platform.secrets, platform.dialup, addresses, router,
                     lookup, platform.windowing, clock, recorder, [] { return QByteArray("1"); },
                     QStringLiteral("settings.ini")},
                    ConsoleLog(sink, sink, false));
    watcher.start();
    const auto check = [&addresses] {
        addresses.changed();
        QCoreApplication::processEvents();
    };
    for (int i = 0; i < 100; ++i)
        check();
    malloc_trim(0);
    const qint64 before = residentKiB();
    int checks = 0;
    for (auto _ : state) {
        check();
        if (++checks == 10000) {
            state.PauseTiming();
            malloc_trim(0);
            state.counters["rss_growth_KiB_after_10000"] = static_cast<double>(residentKiB() - before);
            state.ResumeTiming();
        }
    }
    watcher.stop();
    std::fclose(sink);
}
BENCHMARK(WatcherCheckWithNothingChanged)->Iterations(10000)->Unit(benchmark::kMicrosecond);

// An address that flaps: 1,000 changes 50 ms apart, each announced, through the watcher on its
// doubles and a clock that moves on by itself; the server accepts each post at once. Reports
// the posts the watcher made and the CPU time the whole run took.
void WatcherThousandChanges(benchmark::State& state)
{
    for (auto _ : state) {
        FakePlatform platform;
        platform.storeSetting(QStringLiteral("Server"), QStringLiteral("s.example"));
        platform.storeSetting(QStringLiteral("SubDomain"), QStringLiteral("myhost"));
        FakeAddressWatch addresses;
        FakeRouter router;
        FakeAddressLookup lookup;
        FakeClock clock;
        QTemporaryDir folder;
        const HistoryRecorder recorder(History(folder.filePath(QStringLiteral("history"))),
                                       HistoryEntry::Runner::Watch, clock);
        std::FILE* sink = std::fopen("/dev/null", "w");
        int posts = 0;
        platform.socket.onConnectRequest = [&] {
            ++posts;
            platform.socket.localAddress = addresses.answers.value(QStringLiteral("s.example")).address;
        };
        const auto moveTo = [&addresses](int change) {
            const QString address = QStringLiteral("192.0.2.%1").arg(10 + change % 2);
            addresses.answers.insert(QStringLiteral("s.example"), {address, {}});
            addresses.heldAddresses = {address};
        };
        const auto acceptIfRunning = [&platform] {
            if (platform.socket.connectRequests > 0 && !platform.socket.isOpen()) {
                platform.socket.raiseConnect();
                platform.socket.raiseData(QByteArray("OK\r\n").repeated(7) + "BYE\r\n");
            }
        };
        Watcher watcher({platform.socket, platform.store, platform.secrets, platform.dialup, addresses,
                         router, lookup, platform.windowing, clock, recorder, [] { return QByteArray("1"); },
                         QStringLiteral("settings.ini")},
                        ConsoleLog(sink, sink, false));
        moveTo(0);
        timespec begin = {};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &begin);
        watcher.start();
        for (int change = 1; change <= 1000; ++change) {
            acceptIfRunning();
            moveTo(change);
            addresses.raiseChange();
            clock.advance(std::chrono::milliseconds(50));
        }
        clock.advance(std::chrono::minutes(2));
        acceptIfRunning();
        timespec end = {};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
        watcher.stop();
        std::fclose(sink);
        state.counters["posts"] = posts;
        state.counters["cpu_s"] = static_cast<double>(end.tv_sec - begin.tv_sec) +
                                  static_cast<double>(end.tv_nsec - begin.tv_nsec) / 1e9;
    }
}
BENCHMARK(WatcherThousandChanges)->Iterations(1)->Unit(benchmark::kMillisecond);

// The real watcher, idle for a minute: its address posted lately, nothing changing. Reports the
// CPU time it took in that minute and its resident memory at the start and the end of it.
void WatcherIdleMinute(benchmark::State& state)
{
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QFile ini(home.filePath(QStringLiteral("config/Corvane DynDNS.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Settings]\nServer=192.0.2.1\nSubDomain=myhost\nCurrentIP=False\nOtherIP=192.0.2.10\n");
    ini.close();
    HistoryEntry posted;
    posted.time = QDateTime::currentDateTimeUtc();
    posted.host = QStringLiteral("myhost.dyn.brevant.example");
    posted.address = QStringLiteral("192.0.2.10");
    posted.outcome = ConversationResult::Outcome::Accepted;
    History(home.filePath(QStringLiteral("state/corvane-dyndns/history"))).append(posted);
    const auto sample = [](qint64 pid, double& cpuSeconds, qint64& residentKiB) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> fields = stat.readAll().split(' ');
        cpuSeconds = static_cast<double>(fields.value(13).toLongLong() + fields.value(14).toLongLong()) /
                     static_cast<double>(::sysconf(_SC_CLK_TCK));
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                residentKiB = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    };
    for (auto _ : state) {
        QProcess watcher;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        watcher.setProcessEnvironment(env);
        watcher.start(QStringLiteral(CORVANE_PROGRAM), {QStringLiteral("--watch")});
        watcher.waitForStarted();
        QThread::sleep(5); // past its start
        double cpuBefore = 0;
        double cpuAfter = 0;
        qint64 residentBefore = 0;
        qint64 residentAfter = 0;
        sample(watcher.processId(), cpuBefore, residentBefore);
        QThread::sleep(60);
        sample(watcher.processId(), cpuAfter, residentAfter);
        ::kill(static_cast<pid_t>(watcher.processId()), SIGTERM);
        watcher.waitForFinished();
        state.counters["cpu_s_per_minute"] = cpuAfter - cpuBefore;
        state.counters["rss_KiB_start"] = static_cast<double>(residentBefore);
        state.counters["rss_KiB_after_a_minute"] = static_cast<double>(residentAfter);
        if (!watcher.readAllStandardOutput().contains(" already points at "))
            state.SkipWithError("the watcher posted instead of idling");
    }
}
BENCHMARK(WatcherIdleMinute)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows here record their conversations in a history of their own, not the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
