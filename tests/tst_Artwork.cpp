#include "ui/Artwork.h"

#include <QApplication>
#include <QtTest>

// On a desktop scaled by two, every picture carries twice the pixels of its size.
class tst_Artwork : public QObject
{
    Q_OBJECT
private slots:
    void picturesAreDrawnAtTheScreensPixelRatio();
};

void tst_Artwork::picturesAreDrawnAtTheScreensPixelRatio()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    const QPixmap logo = Artwork::logo();
    QCOMPARE(logo.deviceIndependentSize(), QSizeF(350, 70));
    QCOMPARE(logo.devicePixelRatio(), 2.0);
    const QIcon icon = Artwork::windowIcon();
    for (int size : {16, 22, 24, 32, 48}) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 2.0);
        QCOMPARE(pixmap.size(), QSize(size, size) * 2);
    }
}

int main(int argc, char* argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    tst_Artwork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Artwork.moc"
