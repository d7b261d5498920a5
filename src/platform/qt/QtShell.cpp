#include "platform/qt/QtShell.h"

#include <QDesktopServices>
#include <QUrl>

void QtShell::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}
