// corvane-render-icon: renders an SVG picture into a square PNG, for the icon theme. It runs
// during the build, so it needs no display: a plain image and the SVG renderer do.

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <iostream>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::cerr << "usage: corvane-render-icon SVG SIZE PNG\n";
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[3]);
    bool sizeOk = false;
    const int size = QByteArray(argv[2]).toInt(&sizeOk);
    if (!sizeOk || size < 1 || size > 1024) {
        std::cerr << "corvane-render-icon: the size must be a number of pixels from 1 to 1024, not "
                  << argv[2] << "\n";
        return 2;
    }

    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::cerr << "corvane-render-icon: cannot read the SVG picture " << argv[1] << "\n";
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(target, "PNG")) {
        std::cerr << "corvane-render-icon: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
