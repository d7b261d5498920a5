#include "ui/frmAbout.h"

#include "platform/IWindowing.h"
#include "ui/Artwork.h"
#include "ui/ScreenPlacement.h"

#include <QLabel>
#include <QPushButton>

frmAbout::frmAbout(const IWindowing& identity)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mIdentity(identity), imgLogo(new QLabel(this)), lblVersion(new QLabel(QStringLiteral("Version"), this)),
      lblCopyright(new QLabel(this)), cmdOK(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(Artwork::windowIcon());
    setFixedSize(369, 129);

    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(8, 8, 354, 74);
    imgLogo->setFrameStyle(QFrame::Box | QFrame::Plain);
    imgLogo->setLineWidth(1);
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setPixmap(Artwork::logo());

    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(8, 88, 249, 17);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblCopyright->setGeometry(8, 104, 249, 17);

    // Both the default and the cancel button: Enter and Escape press it.
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(268, 92, 89, 25);
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::Display(const IWindowing& identity)
{
    frmAbout box(identity);
    box.fill();
    ScreenPlacement::centre(box);
    box.exec();
}

void frmAbout::fill()
{
    const QString title = mIdentity.title();
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(title + QStringLiteral(" v") + QString::number(mIdentity.versionMajor()) +
                        QLatin1Char('.') + QString::number(mIdentity.versionMinor()) + QLatin1Char('.') +
                        QString::number(mIdentity.versionRevision()));
    lblCopyright->setText(mIdentity.legalCopyright());
}

void frmAbout::cmdOK_Click()
{
    // Escape reaches here too: QDialog's reject() is the same close.
    accept();
}
