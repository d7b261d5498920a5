#include "platform/Failure.h"
#include "platform/qt/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class tst_InstanceLock : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void leftoversOfADeadCopyAreTakenOver_data();
    void leftoversOfADeadCopyAreTakenOver();
    void aLivingHolderKeepsIt();
    void theLockFolderIsTheUsersOwn_data();
    void theLockFolderIsTheUsersOwn();
    void plantedFallbackFolderIsRefused_data();
    void plantedFallbackFolderIsRefused();

private:
    std::unique_ptr<QTemporaryDir> mHome;
};

void tst_InstanceLock::init()
{
    mHome = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(mHome->path()).mkpath(QStringLiteral("runtime")));
    QVERIFY(QFile::setPermissions(mHome->filePath(QStringLiteral("runtime")), QFile::Permissions(0x7700)));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mHome->filePath(QStringLiteral("runtime"))));
}

void tst_InstanceLock::leftoversOfADeadCopyAreTakenOver_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("garbled file") << "garbled";
    QTest::newRow("empty folder") << "folder";
    QTest::newRow("link to nothing") << "link";
    QTest::newRow("hard link to another file") << "hard link";
}

void tst_InstanceLock::leftoversOfADeadCopyAreTakenOver()
{
    QFETCH(QString, leftover);
    InstanceLock lock(QStringLiteral("Corvane DynDNS"));
    const QString path = lock.path();
    if (leftover == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (leftover == QLatin1String("link")) {
        QVERIFY(QFile::link(mHome->filePath(QStringLiteral("gone")), path));
    } else if (leftover == QLatin1String("hard link")) {
        QFile other(mHome->filePath(QStringLiteral("other")));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("kept") == 4);
        QCOMPARE(::link(QFile::encodeName(other.fileName()).constData(), QFile::encodeName(path).constData()),
                 0);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (leftover == QLatin1String("garbled"))
            file.write("\xff\x00zz\nnot a number\n", 17);
    }
    QVERIFY(lock.tryTake());
    QVERIFY(!QFile::exists(mHome->filePath(QStringLiteral("gone"))));
    QFile other(mHome->filePath(QStringLiteral("other")));
    QVERIFY(!other.exists() || (other.open(QIODevice::ReadOnly) && other.readAll() == "kept"));

    InstanceLock second(QStringLiteral("Corvane DynDNS"));
    QVERIFY(!second.tryTake());
}

void tst_InstanceLock::aLivingHolderKeepsIt()
{
    if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
        QSKIP("flock (util-linux) is not installed; skipping");
    InstanceLock lock(QStringLiteral("Corvane DynDNS"));
    QProcess holder;
    holder.start(QStringLiteral("flock"), {QStringLiteral("--no-fork"), lock.path(), QStringLiteral("-c"),
                                           QStringLiteral("echo held; exec sleep 60")});
    QVERIFY(holder.waitForReadyRead(10000));
    QVERIFY(!lock.tryTake());
    holder.kill();
    QVERIFY(holder.waitForFinished());
    QVERIFY(lock.tryTake());
}

// Another user who may write in the runtime folder could hold a lock there and stop every start.
void tst_InstanceLock::theLockFolderIsTheUsersOwn_data()
{
    QTest::addColumn<QString>("runtime"); // what $XDG_RUNTIME_DIR names
    QTest::addColumn<bool>("relativeTemporaryFolder");
    QTest::addColumn<bool>("fallback"); // whether the lock is in the folder under the temporary folder
    QTest::newRow("the user's runtime folder") << "own" << false << false;
    QTest::newRow("no runtime folder") << "unset" << false << true;
    QTest::newRow("a missing runtime folder") << "missing" << false << true;
    QTest::newRow("writable by others") << "open" << false << true;
    QTest::newRow("another user's") << "other" << false << true;
    QTest::newRow("relative temporary folder") << "unset" << true << true;
}

void tst_InstanceLock::theLockFolderIsTheUsersOwn()
{
    QFETCH(QString, runtime);
    QFETCH(bool, relativeTemporaryFolder);
    QFETCH(bool, fallback);
    const QString runtimeFolder = mHome->filePath(QStringLiteral("runtime"));
    if (runtime == "unset")
        qunsetenv("XDG_RUNTIME_DIR");
    else if (runtime == "missing")
        QVERIFY(QDir(runtimeFolder).removeRecursively());
    else if (runtime == "open")
        QVERIFY(QFile::setPermissions(runtimeFolder, QFile::Permissions(0x7777)));
    else if (runtime == "other" && ::getuid() != 0)
        QSKIP("only root can give a folder to another user; skipping");
    else if (runtime == "other")
        QCOMPARE(::chown(QFile::encodeName(runtimeFolder).constData(), 65534, 65534), 0);
    // Taken as it is, a relative one would put the folder at the file system's root.
    qputenv("TMPDIR", relativeTemporaryFolder ? QByteArray("tmp") : QFile::encodeName(mHome->path()));
    const QString own = (relativeTemporaryFolder ? QStringLiteral("/tmp") : mHome->path()) +
                        QStringLiteral("/corvane-dyndns-%1").arg(::getuid());
    if (!relativeTemporaryFolder) {
        QVERIFY(QDir().mkpath(own));
        QVERIFY(QFile::setPermissions(own, QFile::Permissions(0x7777))); // opened up by someone
    }

    QCOMPARE(InstanceLock::folder(), fallback ? own : runtimeFolder);
    if (!fallback)
        return;
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(own).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(info.st_uid, ::getuid());
}

void tst_InstanceLock::plantedFallbackFolderIsRefused_data()
{
    QTest::addColumn<bool>("link"); // a link to a folder, or else a folder of another user's
    QTest::newRow("link to a folder") << true;
    QTest::newRow("another user's folder") << false;
}

void tst_InstanceLock::plantedFallbackFolderIsRefused()
{
    QFETCH(bool, link);
    if (!link && ::getuid() != 0)
        QSKIP("only root can give a folder to another user; skipping");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(mHome->path()));
    const QString own = mHome->filePath(QStringLiteral("corvane-dyndns-%1").arg(::getuid()));
    const QString trap = link ? mHome->filePath(QStringLiteral("trap")) : own;
    QVERIFY(QDir().mkpath(trap));
    if (link)
        QVERIFY(QFile::link(trap, own));
    else
        QCOMPARE(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
    InstanceLock lock(QStringLiteral("Corvane DynDNS"));
    QVERIFY_THROWS_EXCEPTION(Failure, lock.tryTake());
    QVERIFY(QDir(trap).isEmpty());
}

QTEST_GUILESS_MAIN(tst_InstanceLock)
#include "tst_InstanceLock.moc"
