// Moving the password between the settings and the keyring, on the doubles: whichever step
// fails, the password can be read from one of the two.

#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeWindowing.h"
#include "settings/PasswordMove.h"

#include <QtTest>

namespace {
const QString kAccount = QStringLiteral("alice@home.dyn.brevant.example");
} // namespace

class tst_PasswordMove : public QObject
{
    Q_OBJECT
private slots:
    void passwordIsNeverLost_data();
    void passwordIsNeverLost();
};

void tst_PasswordMove::passwordIsNeverLost_data()
{
    QTest::addColumn<bool>("toKeyring");
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<bool>("fails");
    QTest::newRow("into the keyring") << true << "" << true << false;
    QTest::newRow("keyring refuses to store it") << true << "write" << false << true;
    QTest::newRow("keyring gives back another") << true << "another" << false << true;
    QTest::newRow("settings refuse it, into the keyring") << true << "settings" << false << true;
    QTest::newRow("out of the keyring") << false << "" << true << false;
    QTest::newRow("keyring refuses to give it") << false << "read" << false << true;
    QTest::newRow("settings refuse it, out of the keyring") << false << "settings" << false << true;
    QTest::newRow("keyring refuses to let it go") << false << "remove" << true << true;
}

void tst_PasswordMove::passwordIsNeverLost()
{
    QFETCH(bool, toKeyring);
    QFETCH(QString, trouble);
    QFETCH(bool, moved);
    QFETCH(bool, fails);
    FakeSettingsStore store;
    FakeSecretStore secrets;
    const FakeWindowing identity;
    const auto path = [&](const char* key) {
        return FakeSettingsStore::path(identity.titleText, QLatin1String(key));
    };
    store.values.insert(path("Username"), QStringLiteral("alice"));
    store.values.insert(path("SubDomain"), QStringLiteral("home"));
    store.values.insert(path("Server"), QStringLiteral("kept"));
    store.values.insert(path("Password"), toKeyring ? QStringLiteral("pw") : QString());
    if (!toKeyring) {
        store.values.insert(path("PasswordStore"), QStringLiteral("keyring"));
        secrets.secrets.insert(kAccount, QStringLiteral("pw"));
    }
    const CSettings settings(store, secrets, identity);
    if (trouble == QLatin1String("settings"))
        store.refuseKey = QStringLiteral("Password");
    else if (trouble == QLatin1String("another"))
        secrets.during = [&] {
            if (secrets.calls.last().startsWith(QLatin1String("read")))
                secrets.secrets.insert(kAccount, QStringLiteral("other"));
        };
    else
        secrets.refuse = trouble;

    QString failure;
    try {
        PasswordMove(store, secrets, identity)
            .to(toKeyring ? PasswordPlace::Keyring : PasswordPlace::File, settings);
    } catch (const Failure& caught) {
        failure = caught.description;
    }
    QVERIFY2(failure.isEmpty() != fails, qPrintable(failure));
    const bool inKeyring = store.values.value(path("PasswordStore")) == QLatin1String("keyring");
    QCOMPARE(inKeyring, toKeyring == moved);
    QCOMPARE(inKeyring ? secrets.secrets.value(kAccount) : store.values.value(path("Password")),
             QStringLiteral("pw"));
    if (moved && !fails)
        QCOMPARE(secrets.secrets.contains(kAccount), toKeyring);
    QCOMPARE(store.values.value(path("Server")), QStringLiteral("kept"));
    if (fails) // it says where the password is
        QVERIFY2(
            failure.contains(inKeyring ? QLatin1String("keyring") : QLatin1String("in the settings file")),
            qPrintable(failure));
}

QTEST_GUILESS_MAIN(tst_PasswordMove)
#include "tst_PasswordMove.moc"
