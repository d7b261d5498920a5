#include "FakeWindowing.h"
#include "ModalDriver.h"
#include "ui/frmAbout.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class tst_frmAbout : public QObject
{
    Q_OBJECT
private slots:
    void showsTheLogoTitleFullVersionAndCopyright();
    void enterAndEscapeCloseItAndNothingCarriesOver();
};

namespace {
struct Seen
{
    QString caption, version, copyright;
    QSize logo;
    bool defaultOk = false;
    bool closed = false;
};

Seen look(QWidget& box)
{
    Seen seen;
    seen.caption = box.windowTitle();
    seen.version = box.findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
    seen.copyright = box.findChild<QLabel*>(QStringLiteral("lblCopyright"))->text();
    seen.logo = box.findChild<QLabel*>(QStringLiteral("imgLogo"))->pixmap().size();
    seen.defaultOk = box.findChild<QPushButton*>(QStringLiteral("cmdOK"))->isDefault();
    return seen;
}
} // namespace

void tst_frmAbout::showsTheLogoTitleFullVersionAndCopyright()
{
    FakeWindowing identity;
    Seen seen;
    ModalDriver driver([&](QWidget& box) {
        seen = look(box);
        box.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    frmAbout::Display(identity);
    QVERIFY(driver.ran());
    QCOMPARE(seen.caption, QStringLiteral("About Corvane DynDNS"));
    QCOMPARE(seen.version, QStringLiteral("Corvane DynDNS v1.9.17"));
    QCOMPARE(seen.copyright, QStringLiteral("Copyright (C) 2026 Vexlin"));
    QCOMPARE(seen.logo, QSize(350, 70));
    QVERIFY(seen.defaultOk);
}

void tst_frmAbout::enterAndEscapeCloseItAndNothingCarriesOver()
{
    FakeWindowing identity;
    identity.minor = 10;
    identity.revision = 0;
    QList<Seen> seen;
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        ModalDriver driver([&](QWidget& box) {
            seen.append(look(box));
            box.findChild<QLabel*>(QStringLiteral("lblVersion"))->setText(QStringLiteral("scribbled"));
            QTest::keyClick(&box, key);
            seen.last().closed = !box.isVisible();
        });
        frmAbout::Display(identity);
        QVERIFY(driver.ran());
    }
    QCOMPARE(seen.size(), 2);
    for (const Seen& s : seen) {
        QCOMPARE(s.version, QStringLiteral("Corvane DynDNS v1.10.0"));
        QVERIFY(s.closed);
    }
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
