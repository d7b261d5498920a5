#include "settings/ScriptSettings.h"

#include "settings/CSettings.h"

namespace ScriptSettings {

QStringList problems(const CSettings& settings, const QString& file, const QString& mended)
{
    const auto unreadable = [&file](const QString& key, const QString& reason) {
        return QStringLiteral("the setting ") + key + QStringLiteral(" in ") + file +
               QStringLiteral(" cannot be read: ") + reason;
    };
    QStringList found;
    for (const CSettings::LoadFailure& failure : settings.loadFailures()) {
        if (mended.isEmpty() || failure.key != mended)
            found.append(failure.key.isEmpty() ? failure.failure.description
                                               : unreadable(failure.key, failure.failure.description));
    }
    const qint32 port = settings.Port();
    if (found.isEmpty() && (port < 1 || port > 65535))
        found.append(unreadable(CSettings::Key::Port,
                                QString::number(port) + QStringLiteral(" is not a port from 1 to 65535")));
    return found;
}

} // namespace ScriptSettings
