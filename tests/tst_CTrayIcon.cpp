#include "FakeNotifyIcon.h"
#include "LoadedWindow.h"
#include "WindowPart.h"
#include "ui/CTrayIcon.h"

#include <QLabel>
#include <QtTest>

class tst_CTrayIcon : public QObject
{
    Q_OBJECT
private slots:
    void everyRequestCarriesTheFixedFields();
    void tipFieldIsTextNulThenBlanks();
    void overlongTipIsCut();
    void removeSendsOnlyTheOwner();
    void loadConfiguresWithoutSendingAndUnloadRemoves();
    void secondInstanceNeverShowsAnIcon();
};

void tst_CTrayIcon::everyRequestCarriesTheFixedFields()
{
    FakeNotifyIcon service;
    CTrayIcon icon(service);
    icon.sethWnd(42);
    icon.setTip(QStringLiteral("tip"));
    icon.Add();
    icon.Update();
    icon.Remove();
    QCOMPARE(service.requests.size(), 3);
    const NotifyMessage expected[] = {NotifyMessage::Add, NotifyMessage::Modify, NotifyMessage::Delete};
    for (int i = 0; i < 3; ++i) {
        const NotifyIconData& data = service.requests[i].data;
        QCOMPARE(service.requests[i].message, expected[i]);
        QCOMPARE(data.cbSize, 88u);
        QCOMPARE(data.uID, 1u);
        QCOMPARE(data.uFlags, 7u);
        QCOMPARE(data.uCallbackMessage, 0x200u);
        QCOMPARE(data.hWnd, quintptr{42});
    }
}

void tst_CTrayIcon::tipFieldIsTextNulThenBlanks()
{
    FakeNotifyIcon service;
    CTrayIcon icon(service);
    const QString tip = QStringLiteral("Corvane DynDNS - Going Offlin"); // 29 characters
    icon.setTip(tip + QLatin1Char('e'));
    QCOMPARE(icon.Tip(), tip + QLatin1Char('e'));
    icon.Add();
    const auto& field = service.requests.first().data.szTip;
    QCOMPARE(QByteArray(field.data(), 30), (tip + QLatin1Char('e')).toLatin1());
    QCOMPARE(field[30], '\0');
    for (std::size_t i = 31; i < field.size(); ++i)
        QCOMPARE(field[i], ' ');
}

void tst_CTrayIcon::overlongTipIsCut()
{
    FakeNotifyIcon service;
    CTrayIcon icon(service);
    icon.setTip(QString(100, QLatin1Char('x')));
    QCOMPARE(icon.Tip().size(), 63);
    icon.Update();
    QCOMPARE(service.requests.first().data.szTip[63], '\0');
}

void tst_CTrayIcon::removeSendsOnlyTheOwner()
{
    FakeNotifyIcon service;
    CTrayIcon icon(service);
    icon.sethWnd(7);
    icon.Remove();
    QCOMPARE(service.requests.size(), 1);
    QCOMPARE(service.requests.first().message, NotifyMessage::Delete);
    QCOMPARE(service.requests.first().data.hWnd, quintptr{7});
}

void tst_CTrayIcon::loadConfiguresWithoutSendingAndUnloadRemoves()
{
    LoadedWindow w;
    QVERIFY(w.platform->notifyIcon.requests.isEmpty());
    CTrayIcon* icon = w.window->trayIcon();
    QVERIFY(icon);
    QCOMPARE(icon->Tip(), QStringLiteral("Corvane DynDNS"));
    QCOMPARE(icon->hWnd(), reinterpret_cast<quintptr>(part<QLabel>(*w.window, "picTrayIcon")));
    QVERIFY(!icon->Icon().isNull());
    QVERIFY(!part<QLabel>(*w.window, "picTrayIcon")->isVisible());

    w.window->close();
    QCOMPARE(w.platform->notifyIcon.requests.size(), 1); // sent although the icon is not shown
    QCOMPARE(w.platform->notifyIcon.requests.first().message, NotifyMessage::Delete);
    QVERIFY(!w.window->trayIcon());
}

// A second copy unloads at once: its removal of the icon goes out, but no icon ever shows.
void tst_CTrayIcon::secondInstanceNeverShowsAnIcon()
{
    auto platform = std::make_unique<FakePlatform>();
    platform->windowing.anotherInstance = true;
    platform->storeSetting(QStringLiteral("MinimizeToSystemTray"), QStringLiteral("True"));
    platform->windowing.commandLineText = QStringLiteral("/MINIMIZE");
    LoadedWindow w(std::move(platform));
    QVERIFY(w.window->isUnloaded());
    for (const FakeNotifyIcon::Request& request : w.platform->notifyIcon.requests)
        QCOMPARE(request.message, NotifyMessage::Delete);
}

QTEST_MAIN(tst_CTrayIcon)
#include "tst_CTrayIcon.moc"
