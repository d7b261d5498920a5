#include "ui/frmOptions.h"

#include "app/Provider.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "settings/TextConversion.h"
#include "ui/Artwork.h"
#include "ui/ScreenPlacement.h"
#include "ui/SelectAllText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace {

// The dialog's arrangement is drawn for small fonts; everything is scaled so that text
// boxes and labels hold a desktop font without clipping.
constexpr double kScale = 1.25;
// Tab positions are given relative to the tab control; its pages start below the tab row.
constexpr int kTabRowHeight = 24;
constexpr int kTabBorder = 4;

int scaled(int value)
{
    return static_cast<int>(value * kScale + 0.5);
}

QRect onDialog(int left, int top, int width, int height)
{
    return QRect(scaled(left), scaled(top), scaled(width), scaled(height));
}

QRect onPage(int left, int top, int width, int height)
{
    return QRect(scaled(left - kTabBorder), scaled(top - kTabRowHeight), scaled(width), scaled(height));
}

template <typename Widget> Widget* place(Widget* widget, const char* name, int order, const QRect& geometry)
{
    widget->setObjectName(QLatin1String(name));
    // The documented keyboard order, kept with each control.
    widget->setProperty("TabIndex", order);
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

frmOptions::frmOptions(IWindowing& windowing)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mWindowing(windowing), tabOptions(new QTabWidget(this)),
      cmdOK(new QPushButton(QStringLiteral("OK"), this)),
      cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowIcon(Artwork::windowIcon());
    setFixedSize(scaled(449), scaled(162));

    place(tabOptions, "tabOptions", 18, onDialog(8, 8, 337, 145));
    place(cmdOK, "cmdOK", 16, onDialog(352, 8, 89, 25));
    place(cmdCancel, "cmdCancel", 17, onDialog(352, 40, 89, 25));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);

    buildHostTab();
    buildServerTab();
    buildPostedIpTab();
    buildMiscTab();
    setKeyboardOrder();
    connect(tabOptions, &QTabWidget::currentChanged, this, &frmOptions::tabOptions_Click);
}

QLineEdit* frmOptions::textBox(QWidget* page, const char* name, int order, const QRect& geometry,
                               const QString& label)
{
    auto* box = place(new QLineEdit(page), name, order, geometry);
    // A screen reader names the box by the text the eye reads beside it.
    box->setAccessibleName(label);
    box->installEventFilter(this);
    return box;
}

void frmOptions::buildHostTab()
{
    auto* page = new QWidget;
    tabOptions->addTab(page, QStringLiteral("Host"));
    const QLabel* lblDomain =
        place(new QLabel(QStringLiteral("Domain:"), page), "lblDomain", 0, onPage(16, 44, 65, 17));
    txtDomain = textBox(page, "txtDomain", 1, onPage(80, 40, 89, 21), lblDomain->text());
    cboDomains = place(new QComboBox(page), "cboDomains", 2, onPage(176, 40, 145, 21));
    cboDomains->addItem(provider::kDomain);
    const QLabel* lblUsername =
        place(new QLabel(QStringLiteral("Username:"), page), "lblUsername", 3, onPage(16, 84, 81, 17));
    txtUsername = textBox(page, "txtUsername", 4, onPage(80, 80, 153, 19), lblUsername->text());
    const QLabel* lblPassword =
        place(new QLabel(QStringLiteral("Password:"), page), "lblPassword", 5, onPage(16, 108, 65, 17));
    txtPassword = textBox(page, "txtPassword", 6, onPage(80, 104, 153, 19), lblPassword->text());
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void frmOptions::buildServerTab()
{
    auto* page = new QWidget;
    tabOptions->addTab(page, QStringLiteral("Server "));
    const QLabel* lblServer =
        place(new QLabel(QStringLiteral("Server:"), page), "lblServer", 7, onPage(16, 44, 121, 17));
    txtServer = textBox(page, "txtServer", 8, onPage(80, 40, 153, 19), lblServer->text());
    const QLabel* lblPort =
        place(new QLabel(QStringLiteral("Port:"), page), "lblPort", 9, onPage(16, 68, 49, 17));
    txtPort = textBox(page, "txtPort", 10, onPage(80, 64, 49, 19), lblPort->text());
    txtPort->setMaxLength(5);
}

void frmOptions::buildPostedIpTab()
{
    auto* page = new QWidget;
    tabOptions->addTab(page, QStringLiteral("Posted IP"));
    optCurrentIP = place(new QRadioButton(QStringLiteral("Send Current IP"), page), "optCurrentIP", 11,
                         onPage(16, 40, 105, 17));
    optOtherIP = place(new QRadioButton(QStringLiteral("Send Other IP"), page), "optOtherIP", 12,
                       onPage(16, 64, 97, 17));
    txtOtherIP = textBox(page, "txtOtherIP", 13, onPage(32, 80, 153, 19), optOtherIP->text());
    txtOtherIP->setText(CSettings::kDefaultOtherIP);
}

void frmOptions::buildMiscTab()
{
    auto* page = new QWidget;
    tabOptions->addTab(page, QStringLiteral("Misc"));
    chkUpdateOnConnection = place(new QCheckBox(QStringLiteral("Update Domain On Connection"), page),
                                  "chkUpdateOnConnection", 14, onPage(16, 40, 185, 17));
    chkMinimizeToSystemTray = place(new QCheckBox(QStringLiteral("Minimize To System Tray"), page),
                                    "chkMinimizeToSystemTray", 15, onPage(16, 64, 153, 17));
}

// The keyboard walks the controls in the order each carries; the labels take no focus.
void frmOptions::setKeyboardOrder()
{
    QList<QWidget*> order = findChildren<QWidget*>();
    order.removeIf([](const QWidget* widget) {
        return !widget->property("TabIndex").isValid() || widget->focusPolicy() == Qt::NoFocus;
    });
    std::ranges::sort(order, {}, [](const QWidget* widget) { return widget->property("TabIndex").toInt(); });
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmOptions::Display(IWindowing& windowing, const std::function<void(frmOptions&)>& shown,
                         std::shared_ptr<void> whileOpen)
{
    // A password kept in the keyring is shown as any other; the dialog opens only with it.
    trap(windowing, "Display", [&] {
        gSettings.fetchPassword([&windowing, shown, whileOpen](const std::optional<Failure>& failure) {
            if (failure)
                return reportFailure(windowing, *failure, QStringLiteral("Display"));
            frmOptions dialog(windowing);
            if (!trap(windowing, "Display", [&] { dialog.load(); }))
                return;
            dialog.mShown = shown;
            ScreenPlacement::centre(dialog);
            dialog.exec();
        });
    });
}

void frmOptions::load()
{
    txtDomain->setText(gSettings->SubDomain());
    // An index the list does not have selects nothing, rather than locking the user out.
    const qint32 domain = gSettings->Domain();
    cboDomains->setCurrentIndex(domain >= 0 && domain < cboDomains->count() ? domain : -1);
    txtUsername->setText(gSettings->Username());
    txtPassword->setText(gSettings->Password());
    txtServer->setText(gSettings->Server());
    txtPort->setText(TextConversion::fromLong(gSettings->Port()));
    (gSettings->CurrentIP() ? optCurrentIP : optOtherIP)->setChecked(true);
    txtOtherIP->setText(gSettings->OtherIP());
    chkUpdateOnConnection->setChecked(gSettings->UpdateOnConnection());
    chkMinimizeToSystemTray->setChecked(gSettings->MinimizeToSystemTray());
    tabOptions->setCurrentIndex(0);
}

void frmOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    txtDomain->setFocus(Qt::TabFocusReason);
    if (mShown)
        QTimer::singleShot(0, this, [this] { mShown(*this); });
}

void frmOptions::cmdOK_Click()
{
    trap(mWindowing, "cmdOK_Click", [&] {
        if (mSaving)
            return;
        // The port is read first: a value beyond 32 bits is reported and nothing is written.
        const qint32 port = TextConversion::roundToLong(TextConversion::val(txtPort->text()));
        const QString domain = txtDomain->text();
        const QString username = txtUsername->text();
        const QString password = txtPassword->text();
        // The keyring, when it keeps the password, is written before the settings: when it
        // refuses nothing is written, and when the dialog or the program is gone by its answer
        // nothing more is done.
        mSaving = true;
        gSettings.storePassword(
            password, CSettings::keyringAccount(username, domain),
            [self = QPointer(this), port, domain, username, password](const std::optional<Failure>& failure) {
                if (!self)
                    return;
                self->mSaving = false;
                if (failure)
                    return reportFailure(self->mWindowing, *failure, QStringLiteral("cmdOK_Click"));
                trap(self->mWindowing, "cmdOK_Click", [&] {
                    gSettings->setSubDomain(domain);
                    gSettings->setDomain(self->cboDomains->currentIndex());
                    gSettings->setUsername(username);
                    gSettings->setPassword(password);
                    gSettings->setServer(self->txtServer->text());
                    gSettings->setPort(port);
                    gSettings->setCurrentIP(self->optCurrentIP->isChecked());
                    gSettings->setOtherIP(self->txtOtherIP->text());
                    gSettings->setUpdateOnConnection(self->chkUpdateOnConnection->isChecked());
                    gSettings->setMinimizeToSystemTray(self->chkMinimizeToSystemTray->isChecked());
                    self->accept();
                });
            });
    });
}

void frmOptions::cmdCancel_Click()
{
    trap(mWindowing, "cmdCancel_Click", [&] { reject(); });
}

void frmOptions::tabOptions_Click()
{
    trap(mWindowing, "tabOptions_Click", [&] {
        // Each tab's first control; on the posted-IP tab, the option that is set.
        const QList<QWidget*> first = {
            txtDomain, txtServer, optOtherIP->isChecked() ? optOtherIP : optCurrentIP, chkUpdateOnConnection};
        if (const qsizetype tab = tabOptions->currentIndex(); tab >= 0 && tab < first.size())
            first[tab]->setFocus(Qt::TabFocusReason);
    });
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched)) {
            basMisc::SelectAllText(*box);
            // A click places the caret after the focus arrives; select again once it has.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, box, [box] { basMisc::SelectAllText(*box); });
        }
    }
    return QDialog::eventFilter(watched, event);
}
