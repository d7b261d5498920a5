#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeWindowing.h"
#include "platform/Failure.h"
#include "settings/CSettings.h"

#include <QtTest>

namespace {
const QStringList kKeysInOrder = {QStringLiteral("Domain"),
                                  QStringLiteral("SubDomain"),
                                  QStringLiteral("Username"),
                                  QStringLiteral("Password"),
                                  QStringLiteral("Server"),
                                  QStringLiteral("Port"),
                                  QStringLiteral("CurrentIP"),
                                  QStringLiteral("OtherIP"),
                                  QStringLiteral("UpdateOnConnection"),
                                  QStringLiteral("MinimizeToSystemTray")};

// The keyring here answers at once: whether it gave the password.
bool fetched()
{
    bool given = false;
    gSettings.fetchPassword([&given](const std::optional<Failure>& failure) { given = !failure; });
    return given;
}
} // namespace

class tst_CSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void emptyStoreLoadsDefaultsAndWritesThemBack();
    void readsEveryKeyInOrderUnderTheTitle();
    void storedValuesAreConverted();
    void presentButEmptyValues();
    void unreadableValueTakesItsDefaultAndLoadingGoesOn_data();
    void unreadableValueTakesItsDefaultAndLoadingGoesOn();
    void passwordIsWrittenBackUnchanged();
    void negativeDomainRoundTrips();
    void refusedSaveChangesNothing();
    void unreadableStoreIsNeverWrittenOver();
    void addressFromIsKeptBesideTheTen();
    void missingObjectFails();
    void releaseSavesOnce();
    void passwordPlaceIsReadAndSaved_data();
    void passwordPlaceIsReadAndSaved();
    void keyringPasswordIsFetchedOncePerAccount();
    void keyringIsAskedWhatItHolds_data();
    void keyringIsAskedWhatItHolds();

private:
    FakeSettingsStore mStore;
    FakeSecretStore mSecrets;
    FakeWindowing mIdentity;
    void store(const QString& key, const QString& text)
    {
        mStore.values.insert(FakeSettingsStore::path(mIdentity.titleText, key), text);
    }
    QString stored(const QString& key) const
    {
        return mStore.values.value(FakeSettingsStore::path(mIdentity.titleText, key));
    }
};

void tst_CSettings::init()
{
    mStore = FakeSettingsStore();
    mSecrets = FakeSecretStore();
    mIdentity = FakeWindowing();
    gSettings.discard();
}

void tst_CSettings::emptyStoreLoadsDefaultsAndWritesThemBack()
{
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.Domain(), 0);
    QCOMPARE(settings.SubDomain(), QString());
    QCOMPARE(settings.Username(), QString());
    QCOMPARE(settings.Password(), QString());
    QCOMPARE(settings.Server(), QStringLiteral("update.brevant.example"));
    QCOMPARE(settings.Port(), 2345);
    QCOMPARE(settings.CurrentIP(), true);
    QCOMPARE(settings.OtherIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(settings.UpdateOnConnection(), false);
    QCOMPARE(settings.MinimizeToSystemTray(), false);
    QVERIFY(settings.loadFailures().empty());
    QVERIFY(mStore.values.isEmpty()); // reading never creates anything

    settings.save();
    QCOMPARE(mStore.writes, kKeysInOrder);
    QCOMPARE(stored(QStringLiteral("Domain")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("SubDomain")), QString());
    QCOMPARE(stored(QStringLiteral("Server")), QStringLiteral("update.brevant.example"));
    QCOMPARE(stored(QStringLiteral("Port")), QStringLiteral("2345"));
    QCOMPARE(stored(QStringLiteral("CurrentIP")), QStringLiteral("True"));
    QCOMPARE(stored(QStringLiteral("OtherIP")), QStringLiteral("127.0.0.1"));
    QCOMPARE(stored(QStringLiteral("UpdateOnConnection")), QStringLiteral("False"));
    QCOMPARE(stored(QStringLiteral("MinimizeToSystemTray")), QStringLiteral("False"));
}

void tst_CSettings::readsEveryKeyInOrderUnderTheTitle()
{
    mIdentity.titleText = QStringLiteral("Other Title");
    CSettings settings(mStore, mSecrets, mIdentity);
    QStringList expected;
    for (const QString& key :
         kKeysInOrder + QStringList{QStringLiteral("AddressFrom"), QStringLiteral("PasswordStore")})
        expected.append(QStringLiteral("Other Title/Settings/") + key);
    QCOMPARE(mStore.reads, expected);
}

void tst_CSettings::storedValuesAreConverted()
{
    store(QStringLiteral("Domain"), QStringLiteral("-1"));
    store(QStringLiteral("Port"), QStringLiteral("  8080  "));
    store(QStringLiteral("CurrentIP"), QStringLiteral("FALSE"));
    store(QStringLiteral("UpdateOnConnection"), QStringLiteral("-1"));
    store(QStringLiteral("MinimizeToSystemTray"), QStringLiteral("tRUE"));
    store(QStringLiteral("Server"), QStringLiteral(" spaced.example "));
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.Domain(), -1);
    QCOMPARE(settings.Port(), 8080);
    QCOMPARE(settings.CurrentIP(), false);
    QCOMPARE(settings.UpdateOnConnection(), true);
    QCOMPARE(settings.MinimizeToSystemTray(), true);
    QCOMPARE(settings.Server(), QStringLiteral(" spaced.example ")); // text is not trimmed
    QVERIFY(settings.loadFailures().empty());
}

void tst_CSettings::presentButEmptyValues()
{
    store(QStringLiteral("Server"), QString());
    store(QStringLiteral("OtherIP"), QString());
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.Server(), QString());
    QCOMPARE(settings.OtherIP(), QString());
    QVERIFY(settings.loadFailures().empty());
}

void tst_CSettings::unreadableValueTakesItsDefaultAndLoadingGoesOn_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<long>("number");
    QTest::newRow("port with letters") << "Port"
                                       << "80x" << failures::kTypeMismatch;
    QTest::newRow("empty port") << "Port"
                                << "" << failures::kTypeMismatch;
    QTest::newRow("empty CurrentIP") << "CurrentIP"
                                     << "" << failures::kTypeMismatch;
    QTest::newRow("domain beyond 32 bits") << "Domain"
                                           << "4294967296" << failures::kOverflow;
    QTest::newRow("boolean yes") << "UpdateOnConnection"
                                 << "yes" << failures::kTypeMismatch;
    QTest::newRow("address from another scheme") << "AddressFrom"
                                                 << "ftp://lookup.example/" << failures::kTypeMismatch;
    QTest::newRow("address from a word") << "AddressFrom"
                                         << "gateway" << failures::kTypeMismatch;
}

void tst_CSettings::unreadableValueTakesItsDefaultAndLoadingGoesOn()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(long, number);
    store(key, text);
    // Keys on both sides of the bad one still load.
    store(QStringLiteral("SubDomain"), QStringLiteral("myhost"));
    store(QStringLiteral("MinimizeToSystemTray"), QStringLiteral("True"));

    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.loadFailures().size(), std::size_t{1});
    QCOMPARE(settings.loadFailures().front().failure.number, number);
    QCOMPARE(settings.loadFailures().front().key, key);
    QCOMPARE(settings.SubDomain(), QStringLiteral("myhost"));
    QCOMPARE(settings.MinimizeToSystemTray(), true);
    QCOMPARE(settings.Port(), 2345);
    QCOMPARE(settings.Domain(), 0);
    QCOMPARE(settings.CurrentIP(), true);
    QCOMPARE(settings.UpdateOnConnection(), false);

    settings.save(); // the mended value is what the file holds afterwards
    QCOMPARE(mStore.writes.size(), 10);
}

void tst_CSettings::passwordIsWrittenBackUnchanged()
{
    const QString password = QStringLiteral("  p@ss, w;rd = \"x\" # \\ ");
    store(QStringLiteral("Password"), password);
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.Password(), password);
    settings.setPassword(password + QStringLiteral("  "));
    settings.save();
    QCOMPARE(stored(QStringLiteral("Password")), password + QStringLiteral("  "));
}

void tst_CSettings::negativeDomainRoundTrips()
{
    store(QStringLiteral("Domain"), QStringLiteral("-1"));
    CSettings settings(mStore, mSecrets, mIdentity);
    settings.save();
    QCOMPARE(stored(QStringLiteral("Domain")), QStringLiteral("-1"));
}

void tst_CSettings::refusedSaveChangesNothing()
{
    store(QStringLiteral("Port"), QStringLiteral("1"));
    store(QStringLiteral("CurrentIP"), QStringLiteral("False"));
    CSettings settings(mStore, mSecrets, mIdentity);
    settings.setPort(99);
    settings.setCurrentIP(true);
    settings.setServer(QStringLiteral("new.example"));
    mStore.refuseKey = QStringLiteral("Port");
    QVERIFY_THROWS_EXCEPTION(Failure, settings.save());
    QVERIFY(mStore.writes.isEmpty());
    QCOMPARE(stored(QStringLiteral("Server")), QString());
    QCOMPARE(stored(QStringLiteral("Port")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("CurrentIP")), QStringLiteral("False"));
}

void tst_CSettings::unreadableStoreIsNeverWrittenOver()
{
    mStore.unreadable = true;
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.loadFailures().size(), std::size_t{1});
    QCOMPARE(settings.loadFailures().front().key, QString());
    QCOMPARE(mStore.reads.size(), 1);
    QCOMPARE(settings.Port(), 2345);
    mStore.unreadable = false;
    QVERIFY_THROWS_EXCEPTION(Failure, settings.save());
    QVERIFY_THROWS_EXCEPTION(Failure, settings.saveAddressFrom(*AddressFrom::read(QStringLiteral("router"))));
    QVERIFY(mStore.writes.isEmpty());
}

// The key beside the ten is the command line's to write: saving the ten leaves it as it is.
void tst_CSettings::addressFromIsKeptBesideTheTen()
{
    store(QStringLiteral("AddressFrom"), QStringLiteral(" Router "));
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.addressFrom().source, AddressFrom::Source::Router);
    settings.save();
    QVERIFY(!mStore.writes.contains(QStringLiteral("AddressFrom")));
    QCOMPARE(stored(QStringLiteral("AddressFrom")), QStringLiteral(" Router "));

    mStore.writes.clear();
    settings.saveAddressFrom(*AddressFrom::read(QStringLiteral("https://lookup.example/ip")));
    QCOMPARE(mStore.writes, QStringList{QStringLiteral("AddressFrom")});
    QCOMPARE(stored(QStringLiteral("AddressFrom")), QStringLiteral("https://lookup.example/ip"));
    QCOMPARE(settings.addressFrom().source, AddressFrom::Source::Lookup);
}

void tst_CSettings::missingObjectFails()
{
    QVERIFY(!gSettings);
    try {
        static_cast<void>(gSettings->Port());
        QFAIL("a use of the missing settings object did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number, failures::kObjectNotSet);
    }
}

void tst_CSettings::releaseSavesOnce()
{
    gSettings.create(mStore, mSecrets, mIdentity);
    gSettings->setUsername(QStringLiteral("alice"));
    gSettings.release();
    QVERIFY(!gSettings);
    QCOMPARE(stored(QStringLiteral("Username")), QStringLiteral("alice"));
    QCOMPARE(mStore.writes.size(), 10);
    gSettings.release(); // nothing left to save
    QCOMPARE(mStore.writes.size(), 10);
}

void tst_CSettings::passwordPlaceIsReadAndSaved_data()
{
    QTest::addColumn<QString>("text"); // of the key beside the ten; "absent" for none
    QTest::addColumn<bool>("keyring");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("inFile"); // the Password value
    const QString password = QStringLiteral("in the file");
    QTest::newRow("absent") << "absent" << false << false << password;
    QTest::newRow("keyring") << "keyring" << true << false << password;
    QTest::newRow("keyring, as typed") << " Keyring " << true << false << password;
    QTest::newRow("empty") << "" << false << false << password;
    QTest::newRow("file, as typed") << "File" << false << false << password;
    QTest::newRow("another place, a password in the file") << "wallet" << false << true << password;
    QTest::newRow("another place, none in the file") << "wallet" << true << true << QString();
}

void tst_CSettings::passwordPlaceIsReadAndSaved()
{
    QFETCH(QString, text);
    QFETCH(bool, keyring);
    QFETCH(bool, unreadable);
    QFETCH(QString, inFile);
    if (text != QLatin1String("absent"))
        store(QStringLiteral("PasswordStore"), text);
    store(QStringLiteral("Password"), inFile);
    CSettings settings(mStore, mSecrets, mIdentity);
    QCOMPARE(settings.passwordPlace() == PasswordPlace::Keyring, keyring);
    QCOMPARE(settings.loadFailures().size(), std::size_t{unreadable ? 1u : 0u});
    if (unreadable) // and what would be
        QVERIFY2(settings.loadFailures().front().failure.description.contains("neither keyring nor file"),
                 qPrintable(settings.loadFailures().front().failure.description));
    if (keyring)
        QVERIFY_THROWS_EXCEPTION(Failure, settings.Password()); // never an empty one for it
    settings.setPassword(QStringLiteral("typed"));
    settings.save();
    QCOMPARE(mStore.writes,
             keyring ? kKeysInOrder + QStringList{QStringLiteral("PasswordStore")} : kKeysInOrder);
    QCOMPARE(mStore.removals, keyring ? QStringList() : QStringList{QStringLiteral("PasswordStore")});
    // One put back by hand may be the only copy: it stays while the keyring is not known to hold one.
    QCOMPARE(stored(QStringLiteral("Password")), keyring ? inFile : QStringLiteral("typed"));
    QVERIFY(mSecrets.calls.isEmpty());
}

void tst_CSettings::keyringPasswordIsFetchedOncePerAccount()
{
    store(QStringLiteral("PasswordStore"), QStringLiteral("keyring"));
    store(QStringLiteral("Password"), QStringLiteral("put back"));
    mSecrets.secrets = {{"alice@.dyn.brevant.example", "pw"}, {"bob@.dyn.brevant.example", "pw2"}};
    gSettings.create(mStore, mSecrets, mIdentity);
    gSettings->setUsername(QStringLiteral("alice"));
    QVERIFY(fetched() && fetched());
    QCOMPARE(gSettings->Password(), QStringLiteral("pw"));
    gSettings->setUsername(QStringLiteral("bob"));
    QVERIFY_THROWS_EXCEPTION(Failure, gSettings->Password());
    QVERIFY(fetched());
    QCOMPARE(gSettings->Password(), QStringLiteral("pw2"));
    QCOMPARE(mSecrets.calls,
             (QStringList{"read alice@.dyn.brevant.example", "read bob@.dyn.brevant.example"}));
    gSettings.release(); // the keyring holds bob's: the copy put back goes
    QCOMPARE(stored(QStringLiteral("Password")), QString());
}

void tst_CSettings::keyringIsAskedWhatItHolds_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>(
        "keyring");                     // "held", "bob's", "locked", "unreachable", "frozen", "other backend"
    QTest::addColumn<QString>("said");  // where the password is
    QTest::addColumn<QString>("fetch"); // why a fetch of it fails; empty: it does not
    const QString where =
        "in the keyring (service example.vexlin.CorvaneDynDNS, account alice@.dyn.brevant.example)";
    const QString bobs = "holds one for bob@.dyn.brevant.example, the account of a user name";
    QTest::newRow("held") << "alice"
                          << "held" << where << "";
    QTest::newRow("missing") << "alice"
                             << ""
                             << "missing: the settings say the keyring keeps it, but it holds none"
                             << "holds none";
    QTest::newRow("user name changed") << "alice"
                                       << "bob's" << bobs << bobs;
    QTest::newRow("locked") << "alice"
                            << "locked" << where + "; it is locked"
                            << "locked";
    QTest::newRow("unreachable") << "alice"
                                 << "unreachable" << where + ", which cannot be asked: it cannot be reached"
                                 << "cannot be reached";
    QTest::newRow("frozen") << "alice"
                            << "frozen" << where + ", which cannot be asked: it cannot be reached"
                            << "did not answer";
    QTest::newRow("another kind of keyring") << "alice"
                                             << "other backend" << where + "; it is not asked"
                                             << "";
    QTest::newRow("no user and no host") << ""
                                         << "held"
                                         << "no user and no host"
                                         << "no user and no host";
}

// What --status says of a password kept in the keyring, and why a fetch of it fails: the
// keyring is asked, and a frozen one at most once.
void tst_CSettings::keyringIsAskedWhatItHolds()
{
    QFETCH(QString, user);
    QFETCH(QString, keyring);
    QFETCH(QString, said);
    QFETCH(QString, fetch);
    store(QStringLiteral("PasswordStore"), QStringLiteral("keyring"));
    store(QStringLiteral("Username"), user);
    if (!keyring.isEmpty())
        mSecrets.secrets.insert(keyring == QLatin1String("bob's") ? "bob@.dyn.brevant.example"
                                                                  : "alice@.dyn.brevant.example",
                                QStringLiteral("pw"));
    mSecrets.locked = keyring == QLatin1String("locked");
    mSecrets.unreachable = keyring == QLatin1String("unreachable");
    mSecrets.frozen = keyring == QLatin1String("frozen");
    mSecrets.otherBackend = keyring == QLatin1String("other backend");
    gSettings.create(mStore, mSecrets, mIdentity);
    QString text;
    gSettings->checkedPasswordPlace([&text](const QString& place) { text = place; });
    QVERIFY2(text.contains(said), qPrintable(text));
    QVERIFY(mSecrets.waited <= FakeSecretStore::kDeadline);
    mSecrets.waited = {};
    QString failed;
    gSettings.fetchPassword([&failed](const std::optional<Failure>& failure) {
        if (failure)
            failed = failure->description;
    });
    QVERIFY2(fetch.isEmpty() ? failed.isEmpty() : failed.contains(fetch), qPrintable(failed));
    QVERIFY(mSecrets.waited <= FakeSecretStore::kDeadline);
    gSettings.discard();
}

QTEST_GUILESS_MAIN(tst_CSettings)
#include "tst_CSettings.moc"
