#include "platform/Failure.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kApp = QStringLiteral("Corvane DynDNS");
const QString kSection = QStringLiteral("Settings");

SettingsValues one(const QString& key, const QString& text)
{
    return SettingsValues{{key, text}};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

mode_t modeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}
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
    void handEditedValuesReadAsText_data();
    void handEditedValuesReadAsText();
    void whatCannotBeReadIsRefusedAtOnce_data();
    void whatCannotBeReadIsRefusedAtOnce();
    void restOfTheFileIsKept_data();
    void restOfTheFileIsKept();
    void pathsThatAreNotToBeWrittenAreLeftAlone_data();
    void pathsThatAreNotToBeWrittenAreLeftAlone();
    void linkedFileIsWrittenAndKeepsItsMode();
    void killedSaveLeavesTheOldFileOrTheNew();

private:
    QString path() const { return QtSettingsStore::filePath(kApp); }

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
    mStore.write(kApp, kSection, {{QStringLiteral("Port"), QStringLiteral("2345")}, {"Server", "s"}});
    QCOMPARE(contents(mConfig->path() + QStringLiteral("/Corvane DynDNS.ini")),
             QByteArray("[Settings]\nPort=2345\nServer=s\n"));
}

void tst_QtSettingsStore::absentKeyGivesTheDefaultAndCreatesNothing()
{
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Port"), QStringLiteral("dflt")),
             QStringLiteral("dflt"));
    QVERIFY(!QFile::exists(path()));
    mStore.write(kApp, kSection, one(QStringLiteral("Port"), QString()));
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Port"), QStringLiteral("dflt")), QString());
}

void tst_QtSettingsStore::textRoundTripsExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("blanks around") << "  secret  ";
    QTest::newRow("symbols") << "p@ss, w;rd = \"x\" # \\ [Settings]";
    QTest::newRow("leading at sign") << "@Variant(x)";
    QTest::newRow("doubled at sign") << "@@x";
    QTest::newRow("comma list look-alike") << "a, b, c";
    QTest::newRow("semicolon first") << "; not a comment";
    QTest::newRow("non-ASCII") << QStringLiteral("p\u00e4ss\u20ac\U0001F600");
    QTest::newRow("line break") << "one\r\ntwo";
    QTest::newRow("tabs at both ends") << "\tx\t";
    QTest::newRow("control before hex digits") << QStringLiteral("\u0001abc\u007f9");
    QTest::newRow("backslash at the end") << "x\\";
    QTest::newRow("byte order mark first") << QStringLiteral("\uFEFFx");
}

void tst_QtSettingsStore::textRoundTripsExactly()
{
    QFETCH(QString, text);
    mStore.write(kApp, kSection, one(QStringLiteral("Password"), text));
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Password"), QString()), text);
}

void tst_QtSettingsStore::fileIsReadableByItsOwnerOnly()
{
    mStore.write(kApp, kSection, one(QStringLiteral("Password"), QStringLiteral("secret")));
    QCOMPARE(modeOf(path()), mode_t(0600));

    // A file that someone opened up is closed again at the next save.
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    mStore.write(kApp, kSection, one(QStringLiteral("Password"), QStringLiteral("secret2")));
    QCOMPARE(modeOf(path()), mode_t(0600));
}

void tst_QtSettingsStore::handEditedValuesReadAsText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("list") << QByteArray("a.example ,b.example") << "a.example, b.example";
    QTest::newRow("quoted list item") << QByteArray("\"a, b\" , c") << "a, b, c";
    QTest::newRow("escapes") << QByteArray("x\\101\\x41\\t\\q") << "xAA\t";
    QTest::newRow("byte array") << QByteArray("@ByteArray(secret)") << "secret";
    QTest::newRow("repeated key") << QByteArray("first\nPassword=second") << "second";
    // Each level a list of one item: the bytes 00000009 00000001, escaped as the file has them.
    QByteArray nested = "@Variant(";
    QByteArray bytes;
    for (int level = 0; level < 30000; ++level) {
        nested += "\\0\\0\\0\\t\\0\\0\\0\\x1";
        bytes += QByteArray("\0\0\0\t\0\0\0\x1", 8);
    }
    nested += "\\0\\0\\0\\x2\\0\\0\\0\\x1)";
    bytes += QByteArray("\0\0\0\x2\0\0\0\x1", 8);
    QTest::newRow("typed value nested deep") << nested << "@Variant(" + QString::fromLatin1(bytes) + ")";
}

void tst_QtSettingsStore::handEditedValuesReadAsText()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, text);
    put(path(), "[Settings]\nPassword=" + value + "\n");
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Password"), QString()), text);
}

void tst_QtSettingsStore::whatCannotBeReadIsRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("folder") << "folder";
    QTest::newRow("file its owner may not read") << "unreadable";
    QTest::newRow("link to a pipe") << "link to pipe";
    QTest::newRow("file larger than the limit") << "large";
}

// Nothing at the path may make a load wait, nor pass for an empty file.
void tst_QtSettingsStore::whatCannotBeReadIsRefusedAtOnce()
{
    QFETCH(QString, kind);
    const QString pipe = mConfig->filePath(QStringLiteral("pipe"));
    if (kind.contains(QLatin1String("pipe")))
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    if (kind == QLatin1String("pipe"))
        QVERIFY(QFile::rename(pipe, path()));
    else if (kind == QLatin1String("link to pipe"))
        QVERIFY(QFile::link(pipe, path()));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path()));
    else if (kind == QLatin1String("large")) {
        put(path(), "[Settings]\n");
        QVERIFY(QFile(path()).resize(SettingsFile::kMaxSize + 1)); // sparse: no disk is used
    } else {
        put(path(), "[Settings]\nPort=7\n");
        QVERIFY(QFile::setPermissions(path(), QFile::WriteOwner));
    }
    try {
        mStore.read(kApp, kSection, QStringLiteral("Port"), QStringLiteral("2345"));
        QFAIL("the read did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number, failures::kPathFileAccess);
        QVERIFY2(failure.description.contains(path()), qPrintable(failure.description));
    }
}

void tst_QtSettingsStore::restOfTheFileIsKept_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no group yet") << QByteArray("; mine\n[Other]\nkey=1\nnot an entry\n")
                                  << QByteArray("; mine\n[Other]\nkey=1\nnot an entry\n\n[Settings]\nPort=1\n"
                                                "Server=new\n");
    QTest::newRow("keys replaced where they stand")
        << QByteArray("[Settings]\r\nServer = old ; note\r\nMine=x\r\n[Other]\r\nPort=9\r\n")
        << QByteArray("[Settings]\r\nServer=new; note\r\nMine=x\nPort=1\r\n[Other]\r\nPort=9\r\n");
    QTest::newRow("repeated key dropped")
        << QByteArray("[Settings]\nPort=1\nServer=a\n[X]\n[Settings]\nServer=b\nz=1\n")
        << QByteArray("[Settings]\nPort=1\nServer=new\n[X]\n[Settings]\nz=1\n");
    QTest::newRow("quote left open in another group")
        << QByteArray("\xef\xbb\xbf[A]\nq=\"open\n[Settings]\nPort=5\n")
        << QByteArray("\xef\xbb\xbf[A]\nq=\"open\n[Settings]\nPort=1\nServer=new\n");
    QTest::newRow("backslash at a line end") << QByteArray("[A]\nq=x\\\n[Settings]\nPort=5\n")
                                             << QByteArray("[A]\nq=x\\\n[Settings]\nPort=1\nServer=new\n");
    QTest::newRow("quote left open in the group")
        << QByteArray("[Settings]\nServer=\"abc\nPort=80\n[Other]\nkeep=1\n")
        << QByteArray("[Settings]\nServer=new\nPort=1\n[Other]\nkeep=1\n");
    QTest::newRow("removed key, with its line break, in the group only")
        << QByteArray("[Settings]\nGone=x\nPort=5\n[Other]\nGone=kept\n")
        << QByteArray("[Settings]\nPort=1\nServer=new\n[Other]\nGone=kept\n");
}

void tst_QtSettingsStore::restOfTheFileIsKept()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    put(path(), before);
    mStore.write(kApp, kSection, {{QStringLiteral("Port"), QStringLiteral("1")}, {"Server", "new"}},
                 {"Gone"});
    QCOMPARE(contents(path()), after);
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Server"), QString()), QStringLiteral("new"));
    QCOMPARE(mStore.read(kApp, kSection, QStringLiteral("Port"), QString()), QStringLiteral("1"));
}

void tst_QtSettingsStore::pathsThatAreNotToBeWrittenAreLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("read-only file") << "read-only";
    QTest::newRow("link to nothing") << "dangling";
    QTest::newRow("link to a folder") << "link to folder";
    QTest::newRow("link to a read-only file") << "link to read-only";
}

void tst_QtSettingsStore::pathsThatAreNotToBeWrittenAreLeftAlone()
{
    QFETCH(QString, kind);
    const QString elsewhere = mConfig->filePath(QStringLiteral("elsewhere"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path()));
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup));
    } else if (kind == QLatin1String("read-only")) {
        put(path(), "[Settings]\nPort=7\n");
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(elsewhere, path()));
    } else if (kind == QLatin1String("link to read-only")) {
        put(elsewhere, "[Settings]\nPort=7\n");
        QVERIFY(QFile::setPermissions(elsewhere, QFile::ReadOwner));
        QVERIFY(QFile::link(elsewhere, path()));
    } else {
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, path()));
    }
    const mode_t mode = modeOf(path());
    const QByteArray text = contents(path());
    const QStringList files = QDir(mConfig->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);

    try {
        mStore.write(kApp, kSection, one(QStringLiteral("Port"), QStringLiteral("1")));
        QFAIL("the save did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number, failures::kPathFileAccess);
        QVERIFY2(failure.description.contains(path()), qPrintable(failure.description));
    }
    QCOMPARE(modeOf(path()), mode);
    QCOMPARE(contents(path()), text);
    QCOMPARE(QDir(mConfig->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), files);
    QVERIFY(!QFile::exists(elsewhere) || QFileInfo(elsewhere).isDir() ||
            contents(elsewhere) == "[Settings]\nPort=7\n");
}

void tst_QtSettingsStore::linkedFileIsWrittenAndKeepsItsMode()
{
    const QString target = mConfig->filePath(QStringLiteral("dotfiles/settings.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    put(target, "[Settings]\nPort=7\n");
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(target, path()));

    mStore.write(kApp, kSection, one(QStringLiteral("Port"), QStringLiteral("1")));
    QVERIFY(QFileInfo(path()).isSymLink());
    QCOMPARE(contents(target), QByteArray("[Settings]\nPort=1\n"));
    QCOMPARE(modeOf(target), mode_t(0640));
}

// A save killed at any moment leaves either the old file or the new one, never a mixture.
void tst_QtSettingsStore::killedSaveLeavesTheOldFileOrTheNew()
{
    QProcess saver;
    saver.setProgram(QStringLiteral(CORVANE_SETTINGS_SAVER));
    saver.setArguments({path()});
    for (int round = 0; round < 25; ++round) {
        saver.start();
        QVERIFY(saver.waitForStarted());
        QVERIFY(saver.waitForReadyRead(5000)); // it has saved at least once
        QTest::qWait(QRandomGenerator::global()->bounded(1, 40));
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished());

        QSettings settings(path(), QSettings::IniFormat);
        settings.beginGroup(kSection);
        const QString first = settings.value(QStringLiteral("Key0")).toString();
        QVERIFY(!first.isEmpty());
        for (int k = 1; k < 10; ++k)
            QCOMPARE(settings.value(QStringLiteral("Key%1").arg(k)).toString(), first);
    }
    // The temporary file of a save killed before its rename, with the password in it, goes when
    // a run next reads the settings; that of a save under way (locked) and files of other names
    // stay.
    put(mConfig->filePath(QStringLiteral(".Corvane DynDNS.ini.a1B2c3")), "[Settings]\nPassword=secret\n");
    put(mConfig->filePath(QStringLiteral(".Corvane DynDNS.ini.mine")), "kept");
    // A name that differs only in case is the user's own.
    put(mConfig->filePath(QStringLiteral(".CORVANE DynDNS.ini.a1B2c3")), "kept");
    put(mConfig->filePath(QStringLiteral(".Corvane DynDNS.ini.d4E5f6")), "[Settings]\n");
    const int underWay =
        ::open(QFile::encodeName(mConfig->filePath(QStringLiteral(".Corvane DynDNS.ini.d4E5f6"))),
               O_RDONLY | O_CLOEXEC);
    QVERIFY(underWay >= 0 && ::flock(underWay, LOCK_EX) == 0);
    QtSettingsStore().read(kApp, kSection, QStringLiteral("Password"), QString());
    ::close(underWay);
    QCOMPARE(QDir(mConfig->path())
                 .entryList({QStringLiteral(".CORVANE*"), QStringLiteral(".Corvane*")},
                            QDir::Files | QDir::Hidden | QDir::CaseSensitive),
             (QStringList{QStringLiteral(".CORVANE DynDNS.ini.a1B2c3"),
                          QStringLiteral(".Corvane DynDNS.ini.d4E5f6"),
                          QStringLiteral(".Corvane DynDNS.ini.mine")}));
}

QTEST_GUILESS_MAIN(tst_QtSettingsStore)
#include "tst_QtSettingsStore.moc"
