#pragma once

#include <QDialog>

class IWindowing;
class QLabel;
class QPushButton;

// The about box: the logo, the title with the full version and the copyright line.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(const IWindowing& identity);

    // Builds a fresh box, fills it and shows it modally; returns once it has been closed.
    static void Display(const IWindowing& identity);

    void cmdOK_Click();

private:
    void fill();

    const IWindowing& mIdentity;
    QLabel* imgLogo;
    QLabel* lblVersion;
    QLabel* lblCopyright;
    QPushButton* cmdOK;
};
