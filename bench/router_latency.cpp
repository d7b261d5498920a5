// How long the world waits for a new address: the router daemon (miniupnpd) changes its outside
// address, and the watcher behind it hears of it and posts it to the reference server. Twenty
// changes with NAT-PMP on, twenty with NAT-PMP off (UPnP events); the median and the slowest
// of each. Runs itself again inside "unshare -n" (as root); nothing leaves the namespaces.

#include "RouterNamespace.h"
#include "ScriptRun.h"
#include "WatchRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kChanges = 20;
constexpr int kWaitMs = 20000;

// The milliseconds from each change to the server holding the new address; none when one was
// not posted in time.
std::vector<qint64> measure(RouterNamespace& rig, bool natPmp, QProcess& server, QByteArray& heard,
                            int& outside)
{
    if (const QString why = rig.start(natPmp); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return {};
    }
    ScriptRun run(QStringLiteral(CORVANE_PROGRAM));
    QFile ini(run.settingsFile());
    ini.open(QIODevice::WriteOnly);
    ini.write("[Settings]\nServer=" + QByteArray(RouterNamespace::kRouter) +
              "\nPort=2345\nUsername=alice\nPassword=pw\nSubDomain=home\n");
    ini.close();
    const auto posted = [&](const QString& address) {
        heard += server.readAllStandardOutput();
        return heard.contains("update home.dyn.brevant.example " + address.toLatin1() + " ");
    };
    // A watcher spaces its posts further apart once more than ten fall within ten minutes, as a
    // flapping link asks; each watcher here times five changes, well inside that.
    std::unique_ptr<WatchRun> watch;
    std::vector<qint64> times;
    for (int k = 0; k < kChanges; ++k) {
        if (k % 5 == 0) {
            watch = std::make_unique<WatchRun>();
            watch->process.setProcessEnvironment(run.environment());
            watch->process.start(QStringLiteral(CORVANE_PROGRAM), {QStringLiteral("--watch")});
            const QByteArray settled = "already points at " + rig.outsideAddress().toLatin1();
            if (!QTest::qWaitFor(
                    [&] {
                        return posted(rig.outsideAddress()) && (k == 0 || watch->output().contains(settled));
                    },
                    kWaitMs))
                return {};
        }
        // Past the watcher's spacing of posts, so that each change is timed on its own.
        QTest::qWait(5500);
        const QString next = QStringLiteral("11.22.33.%1").arg(100 + outside++);
        QElapsedTimer timer;
        timer.start();
        if (!rig.changeOutsideAddress(next) || !QTest::qWaitFor([&] { return posted(next); }, kWaitMs))
            return {};
        times.push_back(timer.elapsed());
    }
    return times;
}

void report(const char* name, std::vector<qint64> times)
{
    if (times.size() != kChanges) {
        std::printf("%s: not every change was posted in time\n", name);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: %d changes, median %lld ms, fastest %lld ms, slowest %lld ms\n", name, kChanges,
                static_cast<long long>(times[kChanges / 2]), static_cast<long long>(times.front()),
                static_cast<long long>(times.back()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        if (const QString missing = RouterNamespace::unavailable(); !missing.isEmpty()) {
            std::printf("%s; nothing measured\n", qPrintable(missing));
            return 0;
        }
        return networkNamespace::runInside({QStringLiteral("-n")});
    }
    RouterNamespace rig;
    if (const QString why = rig.build(); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QProcess server;
    rig.startOn(server, RouterNamespace::Side::Router, QStringLiteral(CORVANE_UPDATE_SERVER),
                {"--listen", RouterNamespace::kRouter, "--port", "2345", "--account",
                 "alice:pw:home.dyn.brevant.example"});
    if (!server.waitForReadyRead(kWaitMs))
        return 1;
    QByteArray heard;
    int outside = 0;
    report("NAT-PMP announcement to post", measure(rig, true, server, heard, outside));
    report("UPnP event to post", measure(rig, false, server, heard, outside));
    server.kill();
    server.waitForFinished();
    return 0;
}
