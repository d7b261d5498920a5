#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class IWindowing;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// The options dialog: all ten settings on four tabs. OK writes every control back to the
// settings object; Cancel, Escape and the close box write nothing.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit frmOptions(IWindowing& windowing);

    // Builds a fresh dialog, loads it from the settings and shows it modally; returns once it
    // has been closed, or, with the password in the keyring, opens it once the keyring has given
    // the password. `shown` runs once the dialog is on the screen (tests drive it from there);
    // whileOpen is held until the dialog has closed.
    static void Display(IWindowing& windowing, const std::function<void(frmOptions&)>& shown = {},
                        std::shared_ptr<void> whileOpen = {});

    void cmdOK_Click();
    void cmdCancel_Click();
    void tabOptions_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildHostTab();
    void buildServerTab();
    void buildPostedIpTab();
    void buildMiscTab();
    void setKeyboardOrder();
    QLineEdit* textBox(QWidget* page, const char* name, int order, const QRect& place, const QString& label);
    void load();

    IWindowing& mWindowing;
    std::function<void(frmOptions&)> mShown;
    QTabWidget* tabOptions;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QLineEdit* txtDomain = nullptr;
    QComboBox* cboDomains = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    QRadioButton* optCurrentIP = nullptr;
    QRadioButton* optOtherIP = nullptr;
    QLineEdit* txtOtherIP = nullptr;
    QCheckBox* chkUpdateOnConnection = nullptr;
    QCheckBox* chkMinimizeToSystemTray = nullptr;
    bool mSaving = false; // the keyring is storing the new password
};
