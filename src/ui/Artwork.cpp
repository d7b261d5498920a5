#include "ui/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// The small picture is drawn for 16 pixels; larger sizes come from the full icon.
const QString kSmall = QStringLiteral(":/corvane/tray.svg");
const QString kLarge = QStringLiteral(":/corvane/icon.svg");
constexpr int kIconSizes[] = {16, 22, 24, 32, 48};

QPixmap render(const QString& path, QSize size)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

} // namespace

namespace Artwork {

QIcon windowIcon()
{
    QIcon icon;
    for (int size : kIconSizes)
        icon.addPixmap(render(size < 22 ? kSmall : kLarge, QSize(size, size)));
    return icon;
}

QPixmap trayPicture()
{
    return render(kSmall, QSize(16, 16));
}

QPixmap logo()
{
    return render(QStringLiteral(":/corvane/logo.svg"), QSize(350, 70));
}

} // namespace Artwork
