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
        // The keyring here answers at once: the move is done when to() returns.
        QString failed = QStringLiteral("(no answer)");
        PasswordMove(settings, secrets, identity).to(place, read, [&](const std::optional<Failure>& failure) {
            failed = failure ? failure->description : QString();
        });
        return failed;
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
    void whatTheTwoPlacesHoldDecides_data();
    void whatTheTwoPlacesHoldDecides();
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
    // It answers "none there", and keeps it.
    QTest::newRow("keyring locked before it lets go") << false << "locked at remove" << true << true;
    QTest::newRow("keyring frozen, into it") << true << "frozen" << false << true;
    QTest::newRow("keyring frozen, out of it") << false << "frozen" << false << true;
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
        else if (trouble == QLatin1String("locked at remove"))
            w.secrets.during = [&] { w.secrets.locked = w.secrets.calls.last().startsWith("remove"); };
        else
            w.secrets.frozen = trouble == QLatin1String("frozen");
        if (!w.secrets.frozen && !w.secrets.during)
            w.secrets.refuse = trouble;
    });
    QVERIFY2(failure.isEmpty() != fails, qPrintable(failure));
    const bool inKeyring = w.stored("PasswordStore") == QLatin1String("keyring");
    QCOMPARE(inKeyring, toKeyring == moved);
    QCOMPARE(inKeyring ? w.secrets.secrets.value(kAccount) : w.stored("Password"), QStringLiteral("pw"));
    if (!fails) // and only there
        QCOMPARE(w.secrets.secrets.contains(kAccount), toKeyring);
    QCOMPARE(w.stored("Server"), QStringLiteral("kept"));
    QVERIFY(w.secrets.waited <= FakeSecretStore::kDeadline); // a frozen keyring is waited for once
    if (fails)                                               // it says where the password is
        QVERIFY2(failure.contains(inKeyring ? "stays in the keyring" : "in the settings file"),
                 qPrintable(failure));
    if (fails && toKeyring) // and whether the keyring keeps a copy of it
        QCOMPARE(failure.contains("keeps a copy"), w.secrets.secrets.value(kAccount) == QLatin1String("pw"));
}

void tst_PasswordMove::whatTheTwoPlacesHoldDecides_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("store");     // the PasswordStore value before the move
    QTest::addColumn<QString>("inKeyring"); // alice's; empty: none there
    QTest::addColumn<QString>("keyring");   // "locked", "unreachable", "frozen", "other backend"
    QTest::addColumn<bool>("toKeyring");
    QTest::addColumn<QString>("said"); // in the failure; empty: none
    QTest::addColumn<QString>("fileAfter");
    QTest::addColumn<QString>("storeAfter");
    QTest::addColumn<QString>("keyringAfter");
    struct Row
    {
        const char* name;
        QString user, inFile, store, inKeyring, keyring;
        bool toKeyring;
        QString said, fileAfter, storeAfter, keyringAfter;
    };
    const QString k = QStringLiteral("keyring");
    const QString other = "holds one for " + kAccount;
    // clang-format off
    const Row rows[] = {
        {"the keyring keeps one", "alice", "", "", "pw", "", true, "", "", k, "pw"},
        {"neither keeps one", "alice", "", "", "", "", true, "Neither", "", "", ""},
        {"there, and the keyring keeps it", "alice", "", k, "pw", "", true, "", "", k, "pw"},
        {"there, but the keyring was emptied", "alice", "", k, "", "", true, "Neither", "", k, ""},
        {"there, locked", "alice", "", k, "pw", "locked", true, "", "", k, "pw"},
        {"there, unreachable", "alice", "", k, "pw", "unreachable", true, "cannot be reached", "", k, "pw"},
        {"there, frozen", "alice", "", k, "pw", "frozen", true, "cannot be reached", "", k, "pw"},
        {"put back, the keyring keeps none", "alice", "hand", k, "", "", true, "", "", k, "hand"},
        {"put back, the keyring keeps the same", "alice", "pw", k, "pw", "", true, "", "", k, "pw"},
        {"put back, the keyring keeps another", "alice", "hand", k, "pw", "", true, "different passwords", "hand", k, "pw"},
        {"put back, the keyring keeps another, out of it", "alice", "hand", k, "pw", "", false, "different passwords", "hand", k, "pw"},
        {"put back, locked", "alice", "hand", k, "pw", "locked", true, "stays in the settings file", "hand", k, "pw"},
        {"put back, unreachable", "alice", "hand", k, "", "unreachable", true, "stays in the settings file", "hand", k, ""},
        {"put back, frozen", "alice", "hand", k, "", "frozen", true, "stays in the settings file", "hand", k, ""},
        {"put back, a keyring that only a read can ask", "alice", "hand", k, "", "other backend", true, "", "", k, "hand"},
        {"place unreadable, into the keyring", "alice", "", "wallet", "pw", "", true, "", "", k, "pw"},
        {"place unreadable, into the file", "alice", "pw", "wallet", "", "", false, "", "pw", "", ""},
        {"no user and no host", "", "pw", "", "", "", true, "no user and no host", "pw", "", ""},
        {"user name changed", "bob", "", k, "pw", "", true, other, "", k, "pw"},
        {"user name changed, out of the keyring", "bob", "", k, "pw", "", false, other, "", k, "pw"},
    };
    // clang-format on
    for (const Row& r : rows)
        QTest::newRow(r.name) << r.user << r.inFile << r.store << r.inKeyring << r.keyring << r.toKeyring
                              << r.said << r.fileAfter << r.storeAfter << r.keyringAfter;
}

// A restored backup, a hand edit, an older copy of the program, a keyring that cannot be asked:
// a password is cleared from one place only once the other holds it, read back, and a failure
// says why.
void tst_PasswordMove::whatTheTwoPlacesHoldDecides()
{
    QFETCH(QString, user);
    QFETCH(QString, inFile);
    QFETCH(QString, store);
    QFETCH(QString, inKeyring);
    QFETCH(QString, keyring);
    QFETCH(bool, toKeyring);
    QFETCH(QString, said);
    QFETCH(QString, fileAfter);
    QFETCH(QString, storeAfter);
    QFETCH(QString, keyringAfter);
    Stores w;
    w.stored("Username") = user;
    w.stored("Password") = inFile;
    w.stored("PasswordStore") = store;
    if (!inKeyring.isEmpty())
        w.secrets.secrets.insert(kAccount, inKeyring);
    const QString failure = w.move(toKeyring ? PasswordPlace::Keyring : PasswordPlace::File, [&] {
        w.secrets.locked = keyring == QLatin1String("locked");
        w.secrets.unreachable = keyring == QLatin1String("unreachable");
        w.secrets.frozen = keyring == QLatin1String("frozen");
        w.secrets.otherBackend = keyring == QLatin1String("other backend");
    });
    QVERIFY2(said.isEmpty() ? failure.isEmpty() : failure.contains(said), qPrintable(failure));
    QCOMPARE(w.stored("Password"), fileAfter);
    QCOMPARE(w.stored("PasswordStore"), storeAfter);
    QCOMPARE(w.secrets.secrets.value(kAccount), keyringAfter);
    QVERIFY(w.secrets.waited <= FakeSecretStore::kDeadline);
    if (user.isEmpty())
        QCOMPARE(w.secrets.calls, QStringList());
}

QTEST_GUILESS_MAIN(tst_PasswordMove)
#include "tst_PasswordMove.moc"
