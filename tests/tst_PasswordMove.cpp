// Moving the password between the settings and the keyring, on the doubles: whichever step
// fails, the password can be read from one of the two.

#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeWindowing.h"
#include "settings/PasswordMove.h"

#include <QtTest>

class tst_PasswordMove : public QObject
{
    Q_OBJECT
private slots:
    void passwordIsNeverLost_data();
    void passwordIsNeverLost();
    void settingsWithoutAPasswordKeepTheKeyrings_data();
    void settingsWithoutAPasswordKeepTheKeyrings();
};

void tst_PasswordMove::passwordIsNeverLost_data()
{
    QTest::addColumn<bool>("toKeyring");
    QTest::addColumn<QString>("trouble"); // the keyring's call that fails, or another kind
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
    const QString account = QStringLiteral("alice@.dyn.brevant.example");
    FakeSettingsStore store;
    FakeSecretStore secrets;
    const FakeWindowing identity;
    const auto stored = [&](const char* key) -> QString& {
        return store.values[FakeSettingsStore::path(identity.titleText, QLatin1String(key))];
    };
    stored("Username") = QStringLiteral("alice");
    stored("Server") = QStringLiteral("kept");
    stored("Password") = toKeyring ? QStringLiteral("pw") : QString();
    if (!toKeyring) {
        stored("PasswordStore") = QStringLiteral("keyring");
        secrets.secrets.insert(account, QStringLiteral("pw"));
    }
    const CSettings settings(store, secrets, identity);
    store.refuseKey = trouble == QLatin1String("settings") ? QStringLiteral("Password") : QString();
    if (trouble == QLatin1String("another"))
        secrets.during = [&] { secrets.secrets.insert(account, QStringLiteral("other")); };
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
    const bool inKeyring = stored("PasswordStore") == QLatin1String("keyring");
    QCOMPARE(inKeyring, toKeyring == moved);
    QCOMPARE(inKeyring ? secrets.secrets.value(account) : stored("Password"), QStringLiteral("pw"));
    if (!fails) // and only there
        QCOMPARE(secrets.secrets.contains(account), toKeyring);
    QCOMPARE(stored("Server"), QStringLiteral("kept"));
    if (fails) // it says where the password is
        QVERIFY2(failure.contains(inKeyring ? "stays in the keyring" : "in the settings file"),
                 qPrintable(failure));
    if (fails && toKeyring) // and whether the keyring keeps a copy of it
        QCOMPARE(failure.contains("keeps a copy"), secrets.secrets.value(account) == QLatin1String("pw"));
}

void tst_PasswordMove::settingsWithoutAPasswordKeepTheKeyrings_data()
{
    QTest::addColumn<QString>("inKeyring"); // empty: none there
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("store"); // the PasswordStore value before the move
    QTest::newRow("the keyring keeps one") << "pw"
                                           << ""
                                           << "";
    QTest::newRow("the keyring keeps none") << ""
                                            << ""
                                            << "";
    QTest::newRow("one put back by hand") << "pw"
                                          << "hand"
                                          << "keyring";
}

// A restored backup or a hand edit: the file's empty password never wipes out the keyring's,
// and a password beside the keyring's does not stay in the file.
void tst_PasswordMove::settingsWithoutAPasswordKeepTheKeyrings()
{
    QFETCH(QString, inKeyring);
    QFETCH(QString, inFile);
    QFETCH(QString, store);
    const QString account = QStringLiteral("alice@.dyn.brevant.example");
    FakeSettingsStore settingsStore;
    FakeSecretStore secrets;
    const FakeWindowing identity;
    const auto stored = [&](const char* key) -> QString& {
        return settingsStore.values[FakeSettingsStore::path(identity.titleText, QLatin1String(key))];
    };
    stored("Username") = QStringLiteral("alice");
    stored("Password") = inFile;
    stored("PasswordStore") = store;
    if (!inKeyring.isEmpty())
        secrets.secrets.insert(account, inKeyring);
    const CSettings settings(settingsStore, secrets, identity);
    bool failed = false;
    try {
        PasswordMove(settingsStore, secrets, identity).to(PasswordPlace::Keyring, settings);
    } catch (const Failure&) {
        failed = true;
    }
    QCOMPARE(failed, inKeyring.isEmpty());
    QCOMPARE(secrets.secrets.value(account), inKeyring);
    QCOMPARE(stored("PasswordStore"), failed ? QString() : QStringLiteral("keyring"));
    QCOMPARE(stored("Password"), QString());
}

QTEST_GUILESS_MAIN(tst_PasswordMove)
#include "tst_PasswordMove.moc"
