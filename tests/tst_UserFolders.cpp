#include "app/UserFolders.h"

#include <QDir>
#include <QtTest>

class tst_UserFolders : public QObject
{
    Q_OBJECT
private slots:
    void relativeValuesAreIgnored_data();
    void relativeValuesAreIgnored();
};

void tst_UserFolders::relativeValuesAreIgnored_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value"); // null: unset
    QTest::addColumn<QString>("folder");
    const QString config = QDir::homePath() + "/.config";
    QTest::newRow("config home") << "XDG_CONFIG_HOME"
                                 << "/home/u/conf/"
                                 << "/home/u/conf";
    QTest::newRow("config home unset") << "XDG_CONFIG_HOME" << QString() << config;
    QTest::newRow("config home empty") << "XDG_CONFIG_HOME"
                                       << "" << config;
    QTest::newRow("config home relative") << "XDG_CONFIG_HOME"
                                          << "conf" << config;
    QTest::newRow("state home") << "XDG_STATE_HOME"
                                << "/home/u/state"
                                << "/home/u/state";
    QTest::newRow("state home unset") << "XDG_STATE_HOME" << QString() << QDir::homePath() + "/.local/state";
    QTest::newRow("state home relative") << "XDG_STATE_HOME"
                                         << "state" << QDir::homePath() + "/.local/state";
    QTest::newRow("runtime folder") << "XDG_RUNTIME_DIR"
                                    << "/run/user/7"
                                    << "/run/user/7";
    QTest::newRow("runtime folder unset") << "XDG_RUNTIME_DIR" << QString() << "";
    QTest::newRow("runtime folder relative") << "XDG_RUNTIME_DIR"
                                             << "./run"
                                             << "";
    QTest::newRow("temporary folder") << "TMPDIR"
                                      << "/var/tmp"
                                      << "/var/tmp";
    QTest::newRow("temporary folder unset") << "TMPDIR" << QString() << "/tmp";
    QTest::newRow("temporary folder relative") << "TMPDIR"
                                               << "tmp"
                                               << "/tmp";
}

void tst_UserFolders::relativeValuesAreIgnored()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(QString, folder);
    QProcessEnvironment environment;
    if (!value.isNull())
        environment.insert(variable, value);
    const QString found = variable == "XDG_CONFIG_HOME"   ? UserFolders::configHome(environment)
                          : variable == "XDG_STATE_HOME"  ? UserFolders::stateHome(environment)
                          : variable == "XDG_RUNTIME_DIR" ? UserFolders::runtimeFolder(environment)
                                                          : UserFolders::temporaryFolder(environment);
    QCOMPARE(found, folder);
}

QTEST_GUILESS_MAIN(tst_UserFolders)
#include "tst_UserFolders.moc"
