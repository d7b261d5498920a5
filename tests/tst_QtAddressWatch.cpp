// The address watch over the real system, inside a network namespace of its own: a veth link
// with an address of each family and default routes, where the test may change them freely.

#include "NetworkNamespace.h"
#include "platform/qt/QtAddressWatch.h"

#include <QtTest>

namespace {

QString gUnavailable;

// The answers of the watch, handed over with std::ref.
struct Found
{
    int answers = 0;
    QString address;
    QString problem;
    void operator()(const QString& a, const QString& p)
    {
        ++answers;
        address = a;
        problem = p;
    }
};

// A name server of the test's own: both.test has an address of each family, slow.test answers
// when the test says, any other name is unknown.
struct Names
{
    int lookups = 0;
    QtSocket::Resolved slow;
    void operator()(const QString& host, QObject* context, const QtSocket::Resolved& resolved)
    {
        ++lookups;
        if (host == "slow.test")
            slow = resolved;
        else
            QMetaObject::invokeMethod(
                context,
                [host, resolved] {
                    if (host == "both.test")
                        resolved({QHostAddress("2001:db8:1::1"), QHostAddress("198.51.100.7")}, QString());
                    else
                        resolved({}, "Host not found");
                },
                Qt::QueuedConnection);
    }
};

bool ip(const QString& command)
{
    QString output;
    const bool done = networkNamespace::run("ip", command.split(' '), &output);
    if (!done)
        qWarning("ip %s: %s", qPrintable(command), qPrintable(output));
    return done;
}

} // namespace

class tst_QtAddressWatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void localAddressIsTheRoutesSource_data();
    void localAddressIsTheRoutesSource();
    void laterCallSupersedesALookupStillRunning();
    void pollCallsTheHandler();
    void announcedChangeCallsTheHandlerAndLooksTheNameUpAgain();
};

void tst_QtAddressWatch::initTestCase()
{
    if (!gUnavailable.isEmpty())
        QSKIP(qPrintable(gUnavailable + "; skipping"));
    // No link-local addresses: their duplicate detection would announce changes of its own.
    for (const char* command :
         {"link set lo up", "link add v0 type veth peer name v1", "link set v0 addrgenmode none",
          "link set v1 addrgenmode none", "link set v0 up", "link set v1 up", "addr add 10.9.8.7/24 dev v0",
          "route add default via 10.9.8.1", "-6 addr add 2001:db8::7/64 dev v0 nodad",
          "-6 route add default via 2001:db8::1", "route add unreachable 203.0.113.0/24"})
        QVERIFY(ip(command));
}

void tst_QtAddressWatch::localAddressIsTheRoutesSource_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("address"); // empty: a problem that names the server
    QTest::newRow("IPv4") << QString("198.51.100.7") << QString("10.9.8.7");
    QTest::newRow("IPv4-mapped, shown as IPv4") << QString("::ffff:198.51.100.7") << QString("10.9.8.7");
    QTest::newRow("IPv6") << QString("2001:db8:1::1") << QString("2001:db8::7");
    QTest::newRow("a name with both, IPv4 first") << QString("both.test") << QString("10.9.8.7");
    QTest::newRow("no route") << QString("203.0.113.9") << QString();
    QTest::newRow("unknown name") << QString("nowhere.test") << QString();
}

void tst_QtAddressWatch::localAddressIsTheRoutesSource()
{
    QFETCH(QString, server);
    QFETCH(QString, address);
    Names names;
    QtAddressWatch watch(QtAddressWatch::kPollMs, std::ref(names));
    Found found;
    watch.findLocalAddress(server, 8245, std::ref(found));
    QTRY_COMPARE(found.answers, 1);
    QCOMPARE(found.address, address);
    QVERIFY2(address.isEmpty() ? found.problem.contains(server) : found.problem.isEmpty(),
             qPrintable(found.problem));
}

void tst_QtAddressWatch::laterCallSupersedesALookupStillRunning()
{
    Names names;
    QtAddressWatch watch(QtAddressWatch::kPollMs, std::ref(names));
    Found first;
    Found second;
    watch.findLocalAddress("slow.test", 8245, std::ref(first));
    watch.findLocalAddress("both.test", 8245, std::ref(second));
    names.slow({QHostAddress("2001:db8:1::1")}, QString()); // while the later answer is on its way
    QTRY_COMPARE(second.answers, 1);
    QCOMPARE(second.address, "10.9.8.7");
    QCOMPARE(first.answers, 0);
}

void tst_QtAddressWatch::pollCallsTheHandler()
{
    QtAddressWatch watch(50);
    int changes = 0;
    watch.setChangeHandler([&changes] { ++changes; });
    QTRY_VERIFY(changes >= 2);
}

void tst_QtAddressWatch::announcedChangeCallsTheHandlerAndLooksTheNameUpAgain()
{
    Names names;
    QtAddressWatch watch(60 * 60 * 1000, std::ref(names)); // no poll: only the kernel speaks
    int changes = 0;
    watch.setChangeHandler([&changes] { ++changes; });
    Found found;
    for (int answers : {1, 2}) {
        watch.findLocalAddress("both.test", 8245, std::ref(found));
        QTRY_COMPARE(found.answers, answers);
    }
    QCOMPARE(names.lookups, 1);
    QVERIFY(watch.holdsAddress("10.9.8.7") && !watch.holdsAddress("10.9.8.8"));

    for (const char* command :
         {"addr del 10.9.8.7/24 dev v0", "addr add 10.9.8.8/24 dev v0", "route replace default via 10.9.8.1"})
        QVERIFY(ip(command));
    QTRY_VERIFY_WITH_TIMEOUT(changes > 0, 10000);
    QVERIFY(!watch.holdsAddress("10.9.8.7") && watch.holdsAddress("10.9.8.8"));
    watch.findLocalAddress("both.test", 8245, std::ref(found));
    QTRY_COMPARE(found.answers, 3);
    QCOMPARE(found.address, "10.9.8.8");
    QCOMPARE(names.lookups, 2);
}

// Outside a namespace the test runs itself again inside one, as root may.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!networkNamespace::inside()) {
        gUnavailable = networkNamespace::unavailable({"ip"}, {"-n"});
        if (gUnavailable.isEmpty()) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            networkNamespace::startInside(child, {"-n"}, app.arguments().mid(1));
            child.waitForFinished(-1);
            return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
        }
    }
    tst_QtAddressWatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_QtAddressWatch.moc"
