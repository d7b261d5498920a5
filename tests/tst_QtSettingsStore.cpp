#include "platform/Failure.h"
#include "platform/qt/QtSettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QString kApp = QStringLiteral("Corvane DynDNS");
const QString kSection = QStringLiteral("Settings");
} // namespace

class tst_QtSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fileLivesInTheConfigFolderUnderTheApplicationName();
    void absentKeyGivesTheDefaultAndCreatesNothing();
    void textRoundTripsExactly_data();
    void textRoundTripsExactly();
    void fileIsReadableByItsOwnerOnly();
    void handEditedListIsJoined();
    void refusedWriteFails();

private:
    std::unique_ptr<QTemporaryDir> mConfig;
    QtSettingsStore mStore;
};

void tst_QtSettingsStore::init()
{
    mConfig = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(mConfig->path()));
}

void tst_QtSettingsStore::fileLivesInTheConfigFolderUnderTheApplicationName()
{
    mStore.write(kApp, kSection, QStringLiteral("Port"), QStringLiteral("2345"));
    QFile file(mConfig->path() + QStringLiteral("/Corvane DynDNS.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("[Settings]\nPort=2345"), text.constData());
}

void tst_QtSettingsStore::absentKeyGivesTheDefaultAndCreatesNothing()
{
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Port"), QStringLiteral("dflt")),
             QStringLiteral("dflt"));
    QVERIFY(!QFile::exists(QtSettingsStore::filePath(kApp)));
    mStore.write(kApp, kSection, QStringLiteral("Port"), QString());
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Port"), QStringLiteral("dflt")), QString());
}

void tst_QtSettingsStore::textRoundTripsExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("blanks around") << "  secret  ";
    QTest::newRow("symbols") << "p@ss, w;rd = \"x\" # \\ [Settings]";
    QTest::newRow("leading at sign") << "@Variant(x)";
    QTest::newRow("comma list look-alike") << "a, b, c";
    QTest::newRow("non-ASCII") << QStringLiteral("p\u00e4ss\u20ac");
    QTest::newRow("line break") << "one\r\ntwo";
}

void tst_QtSettingsStore::textRoundTripsExactly()
{
    QFETCH(QString, text);
    mStore.write(kApp, kSection, QStringLiteral("Password"), text);
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Password"), QString()), text);
}

void tst_QtSettingsStore::fileIsReadableByItsOwnerOnly()
{
    const QString path = QtSettingsStore::filePath(kApp);
    mStore.write(kApp, kSection, QStringLiteral("Password"), QStringLiteral("secret"));
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);

    // A file that someone opened up is closed again at the next write.
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    mStore.write(kApp, kSection, QStringLiteral("Password"), QStringLiteral("secret2"));
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
}

void tst_QtSettingsStore::handEditedListIsJoined()
{
    QFile file(QtSettingsStore::filePath(kApp));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nServer=a.example, b.example\n");
    file.close();
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Server"), QString()),
             QStringLiteral("a.example, b.example"));
}

void tst_QtSettingsStore::refusedWriteFails()
{
    // A folder where the file should be cannot be written to, not even by root.
    QVERIFY(QDir().mkpath(QtSettingsStore::filePath(kApp)));
    QVERIFY_THROWS_EXCEPTION(Failure,
                             mStore.write(kApp, kSection, QStringLiteral("Port"), QStringLiteral("1")));
}

QTEST_GUILESS_MAIN(tst_QtSettingsStore)
#include "tst_QtSettingsStore.moc"
