// Figures for the activity log, the reply handling, a whole conversation on loopback and one
// tick of the connection monitor.

#include "FakePlatform.h"
#include "LoadedWindow.h"
#include "UpdateServer.h"
#include "monitor/ConnectionMonitor.h"
#include "platform/qt/QtDialup.h"
#include "platform/qt/QtSocket.h"
#include "update/ActivityLog.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

const QString kEntry = QStringLiteral("07.03.24 14:05:09 - Sending new host IP (192.0.2.10)...");

// One append to a log that already holds state.range(0) entries.
void AppendLogToFilledLog(benchmark::State& state)
{
    FakeWindowing windowing;
    QPlainTextEdit box;
    box.setLineWrapMode(QPlainTextEdit::NoWrap);
    box.resize(329, 217);
    box.show();
    ActivityLog log(box, windowing);
    for (int64_t i = 0; i < state.range(0); ++i)
        log.AppendLog(kEntry);
    QApplication::processEvents();
    for (auto _ : state)
        log.AppendLog(kEntry);
    state.counters["entries"] = static_cast<double>(state.range(0));
}
BENCHMARK(AppendLogToFilledLog)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

QByteArray repliesThatDoNothing(int64_t bytes)
{
    const QByteArray line = "XYZ nothing to see here\r\n";
    QByteArray block;
    block.reserve(bytes);
    while (block.size() + line.size() <= bytes)
        block += line;
    return block;
}

// One block of megabytes of reply lines with an unknown reply word.
void HandleOneBlock(benchmark::State& state)
{
    LoadedWindow w;
    const QByteArray block = repliesThatDoNothing(state.range(0) * 1024 * 1024);
    w.window->menus().mnuFileUpdateIP->trigger();
    w.platform->socket.raiseConnect();
    for (auto _ : state)
        w.platform->socket.raiseData(block);
    if (!w.window->conversation().isRunning())
        state.SkipWithError("the conversation ended while handling the block");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * block.size());
}
BENCHMARK(HandleOneBlock)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

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
                                        platform.shell, platform.windowing});
        window.load();
        for (auto _ : state) {
            window.menus().mnuFileUpdateIP->trigger();
            while (window.conversation().isRunning())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (server.accepted().size() != static_cast<qsizetype>(state.iterations()))
            state.SkipWithError("not every conversation was accepted by the server");
    }
    gSettings.discard();
}
BENCHMARK(WholeConversationOnLoopback)->Unit(benchmark::kMicrosecond);

// One tick of the connection monitor with the real dial-up service of this machine.
void MonitorTickWithTheRealService(benchmark::State& state)
{
    FakePlatform platform;
    platform.storeSetting(QStringLiteral("UpdateOnConnection"), QStringLiteral("True"));
    QtDialup dialup;
    {
        frmMain window(PlatformServices{platform.socket, platform.store, dialup, platform.notifyIcon,
                                        platform.shell, platform.windowing});
        window.load();
        window.connectionMonitorTimer()->stop();
        for (auto _ : state)
            window.connectionMonitor().tmrConnectionMonitor_Timer();
        if (!platform.windowing.reports.isEmpty())
            state.SkipWithError("the tick reported a failure");
    }
    gSettings.discard();
}
BENCHMARK(MonitorTickWithTheRealService)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
