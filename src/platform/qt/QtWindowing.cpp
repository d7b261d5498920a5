#include "platform/qt/QtWindowing.h"

#include "platform/qt/InstanceLock.h"
#include "platform/qt/TerminationSignals.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>

QtWindowing::QtWindowing()
{
    connect(new TerminationSignals({SIGTERM, SIGINT, SIGHUP}, this), &TerminationSignals::received, this,
            &QtWindowing::requestEnd);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session manager asks us to save before the session ends.
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { requestEnd(); });
    }
}

QtWindowing::~QtWindowing() = default;

void QtWindowing::showErrorReport(const QString& text)
{
    const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (mEndRequested) {
        // The session or a signal is ending the program: nobody may be there to answer a box.
        std::fprintf(stderr, "%s: %s\n", identity::kProgram.toLocal8Bit().constData(),
                     shown.toLocal8Bit().constData());
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

bool QtWindowing::anotherInstanceRunning()
{
    if (!mInstanceLock)
        mInstanceLock = std::make_unique<InstanceLock>(InstanceLock::forWindow());
    return !mInstanceLock->tryTake();
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
