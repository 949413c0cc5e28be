// Network port names as a user types them.

#include "link/netport.h"
#include "link/netportname.h"

#include <QtTest>

class TestNetPortName : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
};

void TestNetPortName::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parsed"); // the name again, or "!" and the failure's reason
    QTest::newRow("rfc2217, a name") << QStringLiteral("rfc2217://plc-gateway.example:4001")
                                     << QStringLiteral("rfc2217://plc-gateway.example:4001");
    QTest::newRow("raw, an address")
        << QStringLiteral("tcp://192.168.1.20:4002") << QStringLiteral("tcp://192.168.1.20:4002");
    QTest::newRow("scheme in capitals")
        << QStringLiteral("RFC2217://gw:1") << QStringLiteral("rfc2217://gw:1");
    QTest::newRow("IPv6 in brackets")
        << QStringLiteral("tcp://[::1]:4001") << QStringLiteral("tcp://[::1]:4001");
    QTest::newRow("highest port") << QStringLiteral("tcp://gw:65535")
                                  << QStringLiteral("tcp://gw:65535");
    QTest::newRow("no port") << QStringLiteral("tcp://gw") << QStringLiteral("!has no port");
    QTest::newRow("empty port") << QStringLiteral("tcp://gw:") << QStringLiteral("!has no port");
    QTest::newRow("port 0") << QStringLiteral("tcp://gw:0")
                            << QStringLiteral("!has a port that is not a number from 1 to 65535");
    QTest::newRow("port too high")
        << QStringLiteral("tcp://gw:65536")
        << QStringLiteral("!has a port that is not a number from 1 to 65535");
    QTest::newRow("port not a number")
        << QStringLiteral("tcp://gw:http")
        << QStringLiteral("!has a port that is not a number from 1 to 65535");
    QTest::newRow("port with a sign")
        << QStringLiteral("tcp://gw:+80")
        << QStringLiteral("!has a port that is not a number from 1 to 65535");
    QTest::newRow("path after the port")
        << QStringLiteral("tcp://gw:80/x")
        << QStringLiteral("!has a port that is not a number from 1 to 65535");
    QTest::newRow("no host") << QStringLiteral("rfc2217://:4001") << QStringLiteral("!has no host");
    QTest::newRow("IPv6 without brackets")
        << QStringLiteral("tcp://::1:4001")
        << QStringLiteral("!needs brackets around an IPv6 address");
    QTest::newRow("IPv6 bracket not closed")
        << QStringLiteral("tcp://[::1:4001")
        << QStringLiteral("!has an IPv6 address without its closing ]");
    QTest::newRow("space in the host") << QStringLiteral("tcp://plc gateway:4001")
                                       << QStringLiteral("!has a host that no network knows");
    QTest::newRow("user in the host") << QStringLiteral("tcp://me@gw:4001")
                                      << QStringLiteral("!has a host that no network knows");
    QTest::newRow("other scheme") << QStringLiteral("udp://gw:4001")
                                  << QStringLiteral("!is not a network port name");
    QTest::newRow("serial port") << QStringLiteral("ttyUSB0")
                                 << QStringLiteral("!is not a network port name");
}

void TestNetPortName::names()
{
    QFETCH(QString, name);
    QFETCH(QString, parsed);
    const Result<NetPortName> result = ParseNetPortName(name);
    if (parsed.startsWith(QLatin1Char('!'))) {
        QVERIFY(!result);
        QCOMPARE(result.error(), QStringLiteral("%1 %2: write rfc2217://HOST:PORT or "
                                                "tcp://HOST:PORT.")
                                     .arg(name, parsed.mid(1)));
    } else {
        QVERIFY2(result, qPrintable(result.ok() ? QString() : result.error()));
        QCOMPARE(result->Text(), parsed);
    }
    // One guard for every spelling of a port.
    if (result) {
        NetPort port;
        port.SetPort(name);
        QCOMPARE(port.GuardName(), parsed);
    }
    // Only a name with a scheme is taken for a network port.
    QCOMPARE(LooksLikeNetPortName(name), name.contains(QLatin1String("://")));
}

QTEST_GUILESS_MAIN(TestNetPortName)
#include "tst_netportname.moc"
