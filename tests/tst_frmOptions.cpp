#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeWindowing.h"
#include "settings/CSettings.h"
#include "ui/frmOptions.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>

namespace {

template <typename T> T* child(QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

QLineEdit* box(QWidget& dialog, const char* name)
{
    return child<QLineEdit>(dialog, name);
}

struct Snapshot
{
    qint32 domain;
    QString subDomain, username, password, server;
    qint32 port;
    bool currentIP;
    QString otherIP;
    bool updateOnConnection, minimizeToSystemTray;

    static Snapshot take()
    {
        return {gSettings->Domain(),
                gSettings->SubDomain(),
                gSettings->Username(),
                gSettings->Password(),
                gSettings->Server(),
                gSettings->Port(),
                gSettings->CurrentIP(),
                gSettings->OtherIP(),
                gSettings->UpdateOnConnection(),
                gSettings->MinimizeToSystemTray()};
    }
    bool operator==(const Snapshot&) const = default;
};

const char* const kTextBoxes[] = {"txtDomain", "txtUsername", "txtPassword",
                                  "txtServer", "txtPort",     "txtOtherIP"};

} // namespace

class tst_frmOptions : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptyStoreShowsTheDefaults();
    void controlsCarryTheirNamesCaptionsAndKinds();
    void keyboardOrderRunsAcrossAllTabs();
    void lenientPortReading_data();
    void lenientPortReading();
    void portOverflowWritesNothingAndStaysOpen();
    void cancelAfterEditsLeavesTheSettingsAsTheyWere();
    void okWithoutEditsWritesTheSameTenValues();
    void domainIndex_data();
    void domainIndex();
    void tabChangeMovesTheFocus();
    void enteringATextBoxSelectsItsText();
    void missingSettingsObjectKeepsTheDialogShut();
    void screenReadersNameEachTextBoxByItsLabel();
    void keyringThatFailsChangesNothing_data();
    void keyringThatFailsChangesNothing();

private:
    // Opens the dialog and runs action on it once it is up and active.
    void drive(const std::function<void(frmOptions&)>& action);

    FakeSettingsStore mStore;
    FakeSecretStore mSecrets;
    FakeWindowing mWindowing;
};

void tst_frmOptions::init()
{
    mStore = FakeSettingsStore();
    mSecrets = FakeSecretStore();
    mWindowing = FakeWindowing();
    gSettings.create(mStore, mSecrets, mWindowing);
}

void tst_frmOptions::cleanup()
{
    gSettings.discard();
}

void tst_frmOptions::drive(const std::function<void(frmOptions&)>& action)
{
    bool ran = false;
    bool active = false;
    frmOptions::Display(mWindowing, [&](frmOptions& dialog) {
        ran = true;
        dialog.activateWindow();
        active = QTest::qWaitForWindowActive(&dialog);
        action(dialog);
        if (dialog.isVisible()) // an action that left it open
            dialog.reject();
    });
    QVERIFY(ran);
    QVERIFY(active);
}

void tst_frmOptions::emptyStoreShowsTheDefaults()
{
    QString domain, server, port, otherIP, item, focus;
    int index = -2, tab = -1;
    bool current = false, update = true, minimize = true;
    drive([&](frmOptions& d) {
        tab = child<QTabWidget>(d, "tabOptions")->currentIndex();
        domain = box(d, "txtDomain")->text();
        index = child<QComboBox>(d, "cboDomains")->currentIndex();
        item = child<QComboBox>(d, "cboDomains")->itemText(0);
        server = box(d, "txtServer")->text();
        port = box(d, "txtPort")->text();
        current = child<QRadioButton>(d, "optCurrentIP")->isChecked();
        otherIP = box(d, "txtOtherIP")->text();
        update = child<QCheckBox>(d, "chkUpdateOnConnection")->isChecked();
        minimize = child<QCheckBox>(d, "chkMinimizeToSystemTray")->isChecked();
        focus = d.focusWidget() ? d.focusWidget()->objectName() : QString();
        child<QPushButton>(d, "cmdCancel")->click();
    });
    QCOMPARE(tab, 0);
    QCOMPARE(domain, QString());
    QCOMPARE(index, 0);
    QCOMPARE(item, QStringLiteral("dyn.brevant.example"));
    QCOMPARE(server, QStringLiteral("update.brevant.example"));
    QCOMPARE(port, QStringLiteral("2345"));
    QVERIFY(current);
    QCOMPARE(otherIP, QStringLiteral("127.0.0.1"));
    QVERIFY(!update);
    QVERIFY(!minimize);
    QCOMPARE(focus, QStringLiteral("txtDomain"));
}

void tst_frmOptions::controlsCarryTheirNamesCaptionsAndKinds()
{
    frmOptions d(mWindowing);
    QCOMPARE(d.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(!d.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!d.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    auto* tabs = child<QTabWidget>(d, "tabOptions");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions.append(tabs->tabText(i));
    QCOMPARE(captions, (QStringList{"Host", "Server ", "Posted IP", "Misc"}));

    const QList<QPair<const char*, QString>> labels = {{"lblDomain", "Domain:"},
                                                       {"lblUsername", "Username:"},
                                                       {"lblPassword", "Password:"},
                                                       {"lblServer", "Server:"},
                                                       {"lblPort", "Port:"}};
    for (const auto& [name, caption] : labels)
        QCOMPARE(child<QLabel>(d, name)->text(), caption);
    for (const char* name : kTextBoxes)
        QVERIFY2(box(d, name), name);
    QCOMPARE(child<QRadioButton>(d, "optCurrentIP")->text(), QStringLiteral("Send Current IP"));
    QCOMPARE(child<QRadioButton>(d, "optOtherIP")->text(), QStringLiteral("Send Other IP"));
    QCOMPARE(child<QCheckBox>(d, "chkUpdateOnConnection")->text(),
             QStringLiteral("Update Domain On Connection"));
    QCOMPARE(child<QCheckBox>(d, "chkMinimizeToSystemTray")->text(),
             QStringLiteral("Minimize To System Tray"));
    QCOMPARE(child<QPushButton>(d, "cmdOK")->text(), QStringLiteral("OK"));
    QVERIFY(child<QPushButton>(d, "cmdOK")->isDefault());
    QCOMPARE(child<QPushButton>(d, "cmdCancel")->text(), QStringLiteral("Cancel"));
    QCOMPARE(child<QComboBox>(d, "cboDomains")->count(), 1);
    QVERIFY(!child<QComboBox>(d, "cboDomains")->isEditable());
    QCOMPARE(box(d, "txtPort")->maxLength(), 5);

    QLineEdit* password = box(d, "txtPassword");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password),
             int('*'));
}

void tst_frmOptions::keyboardOrderRunsAcrossAllTabs()
{
    frmOptions d(mWindowing);
    QList<int> order;
    QWidget* w = box(d, "txtDomain");
    for (int steps = 0; steps < 60 && order.size() < 14; ++steps, w = w->nextInFocusChain()) {
        if (w->property("TabIndex").isValid() && (w->focusPolicy() & Qt::TabFocus))
            order.append(w->property("TabIndex").toInt());
    }
    QCOMPARE(order, (QList<int>{1, 2, 4, 6, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18}));

    // The labels hold the places between, and every number from 0 to 18 is used once.
    QList<int> all;
    for (QWidget* widget : d.findChildren<QWidget*>())
        if (widget->property("TabIndex").isValid())
            all.append(widget->property("TabIndex").toInt());
    std::sort(all.begin(), all.end());
    QList<int> expected(19);
    std::iota(expected.begin(), expected.end(), 0);
    QCOMPARE(all, expected);
}

void tst_frmOptions::lenientPortReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("port");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters after") << "80abc" << 80;
    QTest::newRow("blank between") << "8 0" << 80;
    QTest::newRow("hexadecimal") << "&H50" << 80;
    QTest::newRow("half to even, down") << "12.5" << 12;
    QTest::newRow("half to even, up") << "13.5" << 14;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("zero") << "0" << 0;
}

void tst_frmOptions::lenientPortReading()
{
    QFETCH(QString, text);
    QFETCH(qint32, port);
    drive([&](frmOptions& d) {
        box(d, "txtPort")->setText(text);
        child<QPushButton>(d, "cmdOK")->click();
    });
    QCOMPARE(gSettings->Port(), port);
    QVERIFY(mWindowing.reports.isEmpty());
}

void tst_frmOptions::portOverflowWritesNothingAndStaysOpen()
{
    const Snapshot before = Snapshot::take();
    bool stillOpen = false;
    drive([&](frmOptions& d) {
        box(d, "txtDomain")->setText(QStringLiteral("changed"));
        box(d, "txtServer")->setText(QStringLiteral("changed.example"));
        box(d, "txtPort")->setText(QStringLiteral("9e9"));
        child<QPushButton>(d, "cmdOK")->click();
        stillOpen = d.isVisible();
    });
    QVERIFY(stillOpen);
    QCOMPARE(mWindowing.reports.size(), 1);
    QVERIFY(mWindowing.reports.first().contains(
        QStringLiteral(":cmdOK_Click\r\n\r\nError Number 6:\r\nOverflow")));
    QVERIFY(Snapshot::take() == before);
}

void tst_frmOptions::cancelAfterEditsLeavesTheSettingsAsTheyWere()
{
    gSettings->setPassword(QStringLiteral("keep me"));
    const Snapshot before = Snapshot::take();
    const auto editEverything = [](frmOptions& d) {
        for (const char* name : kTextBoxes)
            box(d, name)->setText(QStringLiteral("1"));
        child<QComboBox>(d, "cboDomains")->setCurrentIndex(-1);
        child<QRadioButton>(d, "optOtherIP")->setChecked(true);
        child<QCheckBox>(d, "chkUpdateOnConnection")->setChecked(true);
        child<QCheckBox>(d, "chkMinimizeToSystemTray")->setChecked(true);
    };
    drive([&](frmOptions& d) {
        editEverything(d);
        child<QPushButton>(d, "cmdCancel")->click();
    });
    QVERIFY(Snapshot::take() == before);
    drive([&](frmOptions& d) {
        editEverything(d);
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QVERIFY(Snapshot::take() == before);
}

void tst_frmOptions::okWithoutEditsWritesTheSameTenValues()
{
    gSettings->setSubDomain(QStringLiteral(" host "));
    gSettings->setUsername(QStringLiteral("user"));
    gSettings->setPassword(QStringLiteral("p a$$ "));
    gSettings->setServer(QString());
    gSettings->setPort(-1);
    gSettings->setCurrentIP(false);
    gSettings->setOtherIP(QStringLiteral("not an address"));
    gSettings->setUpdateOnConnection(true);
    gSettings->setMinimizeToSystemTray(true);
    const Snapshot before = Snapshot::take();
    drive([](frmOptions& d) { child<QPushButton>(d, "cmdOK")->click(); });
    QVERIFY(Snapshot::take() == before);
    QVERIFY(mSecrets.calls.isEmpty()); // the file keeps the password
}

void tst_frmOptions::domainIndex_data()
{
    QTest::addColumn<qint32>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<qint32>("afterOk");
    QTest::addColumn<qint32>("afterPicking");
    QTest::newRow("none selected") << -1 << -1 << -1 << 0;
    QTest::newRow("the one entry") << 0 << 0 << 0 << 0;
    QTest::newRow("not in the list") << 7 << -1 << -1 << 0;
    QTest::newRow("beyond 16 bits") << 70000 << -1 << -1 << 0;
}

void tst_frmOptions::domainIndex()
{
    QFETCH(qint32, stored);
    QFETCH(int, shown);
    QFETCH(qint32, afterOk);
    QFETCH(qint32, afterPicking);
    gSettings->setDomain(stored);
    int seen = -2;
    drive([&](frmOptions& d) {
        seen = child<QComboBox>(d, "cboDomains")->currentIndex();
        child<QPushButton>(d, "cmdOK")->click();
    });
    QCOMPARE(seen, shown);
    QCOMPARE(gSettings->Domain(), afterOk);
    QVERIFY(mWindowing.reports.isEmpty());

    drive([&](frmOptions& d) {
        child<QComboBox>(d, "cboDomains")->setCurrentIndex(0);
        child<QPushButton>(d, "cmdOK")->click();
    });
    QCOMPARE(gSettings->Domain(), afterPicking);
}

void tst_frmOptions::tabChangeMovesTheFocus()
{
    QStringList focus;
    gSettings->setCurrentIP(true);
    const auto walk = [&](frmOptions& d) {
        auto* tabs = child<QTabWidget>(d, "tabOptions");
        for (int tab : {1, 2, 3, 0}) {
            tabs->setCurrentIndex(tab);
            focus.append(d.focusWidget() ? d.focusWidget()->objectName() : QString());
        }
        child<QPushButton>(d, "cmdCancel")->click();
    };
    drive(walk);
    QCOMPARE(focus, (QStringList{"txtServer", "optCurrentIP", "chkUpdateOnConnection", "txtDomain"}));

    focus.clear();
    gSettings->setCurrentIP(false);
    drive(walk);
    QCOMPARE(focus.at(1), QStringLiteral("optOtherIP"));
}

void tst_frmOptions::enteringATextBoxSelectsItsText()
{
    QStringList byKeyboard, byMouse;
    drive([&](frmOptions& d) {
        auto* tabs = child<QTabWidget>(d, "tabOptions");
        const QList<QPair<const char*, int>> boxes = {{"txtDomain", 0},   {"txtUsername", 0},
                                                      {"txtPassword", 0}, {"txtServer", 1},
                                                      {"txtPort", 1},     {"txtOtherIP", 2}};
        for (const auto& [name, tab] : boxes) {
            tabs->setCurrentIndex(tab);
            QLineEdit* edit = box(d, name);
            edit->setText(QStringLiteral("abc"));
            child<QPushButton>(d, "cmdOK")->setFocus();
            edit->setFocus(Qt::TabFocusReason);
            byKeyboard.append(edit->selectedText());

            child<QPushButton>(d, "cmdOK")->setFocus();
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(2, edit->height() / 2));
            QTest::qWait(20);
            byMouse.append(edit->selectedText());
        }
        child<QPushButton>(d, "cmdCancel")->click();
    });
    QCOMPARE(byKeyboard, QStringList(6, QStringLiteral("abc")));
    QCOMPARE(byMouse, QStringList(6, QStringLiteral("abc")));
}

void tst_frmOptions::missingSettingsObjectKeepsTheDialogShut()
{
    gSettings.discard();
    bool shown = false;
    frmOptions::Display(mWindowing, [&](frmOptions& d) {
        shown = true;
        d.reject();
    });
    QVERIFY(!shown);
    QCOMPARE(mWindowing.reports.size(), 1);
    QVERIFY(mWindowing.reports.first().contains(QStringLiteral(":Display\r\n")));
}

void tst_frmOptions::keyringThatFailsChangesNothing_data()
{
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("report");
    QTest::newRow("locked when the dialog opens") << "read"
                                                  << ":Display\r\n";
    QTest::newRow("refusing the new password") << "write"
                                               << ":cmdOK_Click\r\n";
}

void tst_frmOptions::keyringThatFailsChangesNothing()
{
    QFETCH(QString, refused);
    QFETCH(QString, report);
    for (const auto& [key, text] : {std::pair{"PasswordStore", "keyring"}, {"Username", "alice"}})
        mStore.values.insert(FakeSettingsStore::path(mWindowing.titleText, QLatin1String(key)),
                             QLatin1String(text));
    mSecrets.secrets.insert(QStringLiteral("alice@.dyn.brevant.example"), QStringLiteral("old"));
    mSecrets.refuse = refused;
    gSettings.create(mStore, mSecrets, mWindowing);
    bool shown = false;
    bool stillOpen = false;
    frmOptions::Display(mWindowing, [&](frmOptions& d) {
        shown = true;
        box(d, "txtUsername")->setText(QStringLiteral("bob"));
        box(d, "txtPassword")->setText(QStringLiteral("new"));
        child<QPushButton>(d, "cmdOK")->click();
        stillOpen = d.isVisible();
        d.reject();
    });
    QCOMPARE(shown, refused == QLatin1String("write"));
    QCOMPARE(stillOpen, shown);
    QCOMPARE(mWindowing.reports.size(), 1);
    QVERIFY2(mWindowing.reports.first().contains(report + "\r\nError Number 40100:"),
             qPrintable(mWindowing.reports.first()));
    QCOMPARE(gSettings->Username(), QStringLiteral("alice"));
    QCOMPARE(mSecrets.secrets.keys(), QStringList{"alice@.dyn.brevant.example"});
}

void tst_frmOptions::screenReadersNameEachTextBoxByItsLabel()
{
    const QList<std::pair<const char*, QString>> boxes = {
        {"txtDomain", "Domain:"}, {"txtUsername", "Username:"}, {"txtPassword", "Password:"},
        {"txtServer", "Server:"}, {"txtPort", "Port:"},         {"txtOtherIP", "Send Other IP"}};
    QStringList names;
    drive([&](frmOptions& d) {
        for (const auto& entry : boxes)
            names.append(QAccessible::queryAccessibleInterface(box(d, entry.first))->text(QAccessible::Name));
    });
    for (qsizetype i = 0; i < boxes.size(); ++i)
        QCOMPARE(names[i], boxes[i].second);
}

QTEST_MAIN(tst_frmOptions)
#include "tst_frmOptions.moc"
