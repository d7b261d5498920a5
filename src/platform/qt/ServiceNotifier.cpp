#include "platform/qt/ServiceNotifier.h"

#include "app/VisibleText.h"

#include <systemd/sd-daemon.h>

namespace {

void notify(const QString& state)
{
    static_cast<void>(::sd_notify(0, state.toUtf8().constData()));
}

} // namespace

namespace ServiceNotifier {

void ready()
{
    notify(QStringLiteral("READY=1"));
}

void status(const QString& status)
{
    // One assignment a line: a line break in the text would start another.
    notify(QStringLiteral("STATUS=") + VisibleText::withoutControls(status));
}

void stopping()
{
    notify(QStringLiteral("STOPPING=1"));
}

} // namespace ServiceNotifier
