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
    void withoutRuntimeFolderTheLockIsTheUsersOwn();
    void plantedFallbackFolderIsRefused();

private:
    std::unique_ptr<QTemporaryDir> mHome;
};

void tst_InstanceLock::init()
{
    mHome = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(mHome->path()).mkpath(QStringLiteral("runtime")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mHome->filePath(QStringLiteral("runtime"))));
}

void tst_InstanceLock::leftoversOfADeadCopyAreTakenOver_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("garbled file") << "garbled";
    QTest::newRow("empty folder") << "folder";
    QTest::newRow("link to nothing") << "link";
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
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (leftover == QLatin1String("garbled"))
            file.write("\xff\x00zz\nnot a number\n", 17);
    }
    QVERIFY(lock.tryTake());
    QVERIFY(!QFile::exists(mHome->filePath(QStringLiteral("gone"))));

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

void tst_InstanceLock::withoutRuntimeFolderTheLockIsTheUsersOwn()
{
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(mHome->path()));
    const QString own = mHome->filePath(QStringLiteral("corvane-dyndns-%1").arg(::getuid()));
    QVERIFY(QDir().mkpath(own));
    QVERIFY(QFile::setPermissions(own, QFile::Permissions(0x7777))); // opened up by someone

    InstanceLock lock(QStringLiteral("Corvane DynDNS"));
    QVERIFY(lock.tryTake());
    QCOMPARE(QFileInfo(lock.path()).absolutePath(), own);
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(own).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(info.st_uid, ::getuid());
}

void tst_InstanceLock::plantedFallbackFolderIsRefused()
{
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(mHome->path()));
    const QString own = mHome->filePath(QStringLiteral("corvane-dyndns-%1").arg(::getuid()));
    QVERIFY(QDir().mkpath(mHome->filePath(QStringLiteral("trap"))));
    QVERIFY(QFile::link(mHome->filePath(QStringLiteral("trap")), own));
    InstanceLock lock(QStringLiteral("Corvane DynDNS"));
    QVERIFY_THROWS_EXCEPTION(Failure, lock.tryTake());
    QVERIFY(QDir(mHome->filePath(QStringLiteral("trap"))).isEmpty());
}

QTEST_GUILESS_MAIN(tst_InstanceLock)
#include "tst_InstanceLock.moc"
