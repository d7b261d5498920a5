#include "ui/WindowSwitches.h"

namespace WindowSwitches {

bool wantsMinimize(const QString& commandLine)
{
    const QString upper = commandLine.toUpper();
    return upper.contains(QStringLiteral("/MINIMIZE")) || upper.contains(QStringLiteral("--MINIMIZE"));
}

bool wantsClose(const QString& commandLine)
{
    const QString upper = commandLine.toUpper();
    return upper.contains(QStringLiteral("/CLOSE")) || upper.contains(QStringLiteral("--CLOSE"));
}

} // namespace WindowSwitches
