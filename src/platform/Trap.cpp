#include "platform/Trap.h"

#include "app/Identity.h"

QString errorReportText(const Failure& failure, const QString& procedure)
{
    const QString source = failure.source.isEmpty() ? identity::kErrorSource : failure.source;
    return QStringLiteral("An error occured in ") + source + QLatin1Char(':') + procedure +
           QStringLiteral("\r\n\r\nError Number ") + QString::number(failure.number) +
           QStringLiteral(":\r\n") + failure.description;
}

void reportFailure(IWindowing& windowing, const Failure& failure, const QString& procedure) noexcept
{
    try {
        windowing.showErrorReport(errorReportText(failure, procedure));
    } catch (...) {
        // A report that cannot be shown leaves nothing more to do.
    }
}
