#include "platform/qt/QtWindowing.h"

#include "ApplicationIdentity.h"
#include "platform/qt/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    static_cast<void>(written);
}

} // namespace

QtWindowing::QtWindowing()
{
    watchTerminationSignals();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session manager asks us to save before the session ends.
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { requestEnd(); });
    }
}

QtWindowing::~QtWindowing() = default;

void QtWindowing::showErrorReport(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (mEndRequested) {
        // The session or a signal is ending the program: nobody may be there to answer a box.
        std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
        return;
    }
    const std::function<void(bool)> watcher = mReportWatcher;
    if (watcher)
        watcher(true);
    {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), shown, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setObjectName(QStringLiteral("errorReport"));
        mOpenReports.append(&box);
        box.exec();
        mOpenReports.removeOne(&box);
    }
    if (watcher)
        watcher(false);
}

void QtWindowing::setReportWatcher(std::function<void(bool opening)> watcher)
{
    mReportWatcher = std::move(watcher);
}

QString QtWindowing::commandLine() const
{
    return QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
}

bool QtWindowing::anotherInstanceRunning()
{
    if (!mInstanceLock)
        mInstanceLock = std::make_unique<InstanceLock>(identity::kTitle);
    return !mInstanceLock->tryTake();
}

void QtWindowing::endProcess()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

void QtWindowing::setEndRequestHandler(std::function<void()> handler)
{
    mEndRequestHandler = std::move(handler);
}

void QtWindowing::requestEnd()
{
    mEndRequested = true;
    // Reports still open give way: nothing holds up the end.
    for (QMessageBox* box : std::as_const(mOpenReports))
        box->done(QMessageBox::Ok);
    if (mEndRequestHandler)
        mEndRequestHandler();
}

void QtWindowing::watchTerminationSignals()
{
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mSignalNotifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(mSignalNotifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        requestEnd();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

QString QtWindowing::title() const
{
    return identity::kTitle;
}

int QtWindowing::versionMajor() const
{
    return identity::kMajor;
}

int QtWindowing::versionMinor() const
{
    return identity::kMinor;
}

int QtWindowing::versionRevision() const
{
    return identity::kRevision;
}

QString QtWindowing::legalCopyright() const
{
    return identity::kLegalCopyright;
}
