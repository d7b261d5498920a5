#include "ui/Artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

QPixmap render(const QString& path, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

} // namespace

namespace Artwork {

QIcon windowIcon()
{
    QIcon icon;
    icon.addPixmap(render(QStringLiteral(":/corvane/tray.svg"), QSize(16, 16)));
    icon.addPixmap(render(QStringLiteral(":/corvane/icon.svg"), QSize(32, 32)));
    return icon;
}

QPixmap trayPicture()
{
    return render(QStringLiteral(":/corvane/tray.svg"), QSize(16, 16));
}

QPixmap logo()
{
    return render(QStringLiteral(":/corvane/logo.svg"), QSize(350, 70));
}

} // namespace Artwork
