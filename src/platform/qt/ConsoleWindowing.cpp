#include "platform/qt/ConsoleWindowing.h"

#include "platform/qt/TerminationSignals.h"

#include <cstdio>

ConsoleWindowing::ConsoleWindowing(QList<int> endSignals)
{
    connect(new TerminationSignals(std::move(endSignals), this), &TerminationSignals::received, this, [this] {
        if (mEndRequestHandler)
            mEndRequestHandler();
    });
}

void ConsoleWindowing::showErrorReport(const QString& text)
{
    if (mReportWatcher)
        mReportWatcher(true);
    const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
    std::fflush(stderr);
    if (mReportWatcher)
        mReportWatcher(false);
}
