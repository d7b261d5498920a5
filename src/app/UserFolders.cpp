#include "app/UserFolders.h"

#include "app/Identity.h"

#include <QDir>

namespace {

QString absoluteOr(const QProcessEnvironment& environment, const QString& variable, const QString& fallback)
{
    const QString value = environment.value(variable);
    return value.startsWith(QLatin1Char('/')) ? QDir::cleanPath(value) : fallback;
}

} // namespace

namespace UserFolders {

QString configHome(const QProcessEnvironment& environment)
{
    return absoluteOr(environment, QStringLiteral("XDG_CONFIG_HOME"),
                      QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config")));
}

QString stateHome(const QProcessEnvironment& environment)
{
    return absoluteOr(environment, QStringLiteral("XDG_STATE_HOME"),
                      QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/state")));
}

QString stateFile(const QString& name)
{
    return stateHome() + QLatin1Char('/') + identity::kProgram + QLatin1Char('/') + name;
}

QString runtimeFolder(const QProcessEnvironment& environment)
{
    return absoluteOr(environment, QStringLiteral("XDG_RUNTIME_DIR"), QString());
}

QString temporaryFolder(const QProcessEnvironment& environment)
{
    return absoluteOr(environment, QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
}

} // namespace UserFolders
