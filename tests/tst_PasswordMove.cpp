// Moving the password between the settings and the keyring, on the doubles: whichever step
// fails, the password can be read from one of the two.

#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeWindowing.h"
#include "settings/PasswordMove.h"

#include <QtTest>

namespace {

const QString kAccount = QStringLiteral("alice@.dyn.brevant.example");

// The settings and the keyring of alice, before and after a move.
struct Stores
{
    Stores() { stored("Username") = QStringLiteral("alice"); }

    QString& stored(const char* key)
    {
        return settings.values[FakeSettingsStore::path(identity.titleText, QLatin1String(key))];
    }
    // Moves the password as the settings read now have it; what went wrong, if anything.
    QString move(PasswordPlace place, const std::function<void()>& before = {})
    {
        const CSettings read(settings, secrets, identity);
        if (before)
            before();
        try {
            PasswordMove(settings, secrets, identity).to(place, read);
        } catch (const Failure& caught) {
            return caught.description;
        }
        return QString();
    }

    FakeSettingsStore settings;
    FakeSecretStore secrets;
    const FakeWindowing identity;
};

} // namespace

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
    Stores w;
    w.stored("Server") = QStringLiteral("kept");
    w.stored("Password") = toKeyring ? QStringLiteral("pw") : QString();
    if (!toKeyring) {
        w.stored("PasswordStore") = QStringLiteral("keyring");
        w.secrets.secrets.insert(kAccount, QStringLiteral("pw"));
    }
    const QString failure = w.move(toKeyring ? PasswordPlace::Keyring : PasswordPlace::File, [&] {
        w.settings.refuseKey = trouble == QLatin1String("settings") ? QStringLiteral("Password") : QString();
        if (trouble == QLatin1String("another"))
            w.secrets.during = [&] { w.secrets.secrets.insert(kAccount, QStringLiteral("other")); };
        else
            w.secrets.refuse = trouble;
    });
    QVERIFY2(failure.isEmpty() != fails, qPrintable(failure));
    const bool inKeyring = w.stored("PasswordStore") == QLatin1String("keyring");
    QCOMPARE(inKeyring, toKeyring == moved);
    QCOMPARE(inKeyring ? w.secrets.secrets.value(kAccount) : w.stored("Password"), QStringLiteral("pw"));
    if (!fails) // and only there
        QCOMPARE(w.secrets.secrets.contains(kAccount), toKeyring);
    QCOMPARE(w.stored("Server"), QStringLiteral("kept"));
    if (fails) // it says where the password is
        QVERIFY2(failure.contains(inKeyring ? "stays in the keyring" : "in the settings file"),
                 qPrintable(failure));
    if (fails && toKeyring) // and whether the keyring keeps a copy of it
        QCOMPARE(failure.contains("keeps a copy"), w.secrets.secrets.value(kAccount) == QLatin1String("pw"));
}

void tst_PasswordMove::settingsWithoutAPasswordKeepTheKeyrings_data()
{
    QTest::addColumn<QString>("inKeyring"); // empty: none there
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("store"); // the PasswordStore value before the move
    QTest::newRow("the keyring keeps one") << "pw" << QString() << QString();
    QTest::newRow("the keyring keeps none") << QString() << QString() << QString();
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
    Stores w;
    w.stored("Password") = inFile;
    w.stored("PasswordStore") = store;
    if (!inKeyring.isEmpty())
        w.secrets.secrets.insert(kAccount, inKeyring);
    const bool failed = !w.move(PasswordPlace::Keyring).isEmpty();
    QCOMPARE(failed, inKeyring.isEmpty());
    QCOMPARE(w.secrets.secrets.value(kAccount), inKeyring);
    QCOMPARE(w.stored("PasswordStore"), failed ? QString() : QStringLiteral("keyring"));
    QCOMPARE(w.stored("Password"), QString());
}

QTEST_GUILESS_MAIN(tst_PasswordMove)
#include "tst_PasswordMove.moc"
