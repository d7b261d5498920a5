#include "platform/qt/ConsoleWindowing.h"

#include "platform/qt/EndNow.h"
#include "platform/qt/TerminationSignals.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

ConsoleWindowing::ConsoleWindowing(QList<int> endSignals)
    : mTerminationSignals(new TerminationSignals(std::move(endSignals), this))
{
    connect(mTerminationSignals, &TerminationSignals::received, this, [this] {
        if (mEndRequestHandler)
            mEndRequestHandler();
    });
}

void ConsoleWindowing::showErrorReport(const QString& text)
{
    if (mReportWatcher)
        mReportWatcher(true);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
    std::fflush(stderr);
    if (mReportWatcher)
        mReportWatcher(false);
}

void ConsoleWindowing::setReportWatcher(std::function<void(bool opening)> watcher)
{
    mReportWatcher = std::move(watcher);
}

QString ConsoleWindowing::commandLine() const
{
    return QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
}

void ConsoleWindowing::endProcess()
{
    endNow(0);
}

void ConsoleWindowing::setEndRequestHandler(std::function<void()> handler)
{
    mEndRequestHandler = std::move(handler);
}
