#include "app/comportoptions.h"

#include "support/fakeline.h"

#include <QSet>
#include <QTest>

#include <cerrno>

namespace {

// A line whose opens or closes fail for the named ports, as a port held by
// another program, or one that breaks down while it closes.
class ProbeLine : public FakeLine
{
public:
    QSet<QString> refuseOpen;
    QSet<QString> refuseClose;

    void Open() override
    {
        if (refuseOpen.contains(Port()))
            throw EComPortError(EBUSY, "open");
        FakeLine::Open();
    }
    void Close() override
    {
        if (Connected() && refuseClose.contains(Port())) {
            refuseClose.remove(Port()); // the next close goes through
            throw EComPortError(EIO, "close");
        }
        FakeLine::Close();
    }
};

// Items as the dialog shows them: "ttyS1  (in use)" is ttyS1, in use.
QList<PortChoice> Items(const QStringList &texts)
{
    QList<PortChoice> items;
    for (const QString &text : texts) {
        const bool marked = text.endsWith(QStringLiteral("  (in use)"));
        items.append({marked ? text.chopped(10) : text, marked});
    }
    return items;
}

QStringList Words(const char *words)
{
    return QString::fromLatin1(words).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestComportOptions : public QObject
{
    Q_OBJECT

private slots:
    void probeMarksPortsThatCannotBeOpenedAndClosed_data();
    void probeMarksPortsThatCannotBeOpenedAndClosed();
    void chosenItem_data();
    void chosenItem();
    void openProblemInPlainWords_data();
    void openProblemInPlainWords();
    void rememberNetPort_data();
    void rememberNetPort();
    void itemsOfferRememberedNetPortsAfterTheSerialOnes_data();
    void itemsOfferRememberedNetPortsAfterTheSerialOnes();
    void typedText_data();
    void typedText();
};

void TestComportOptions::probeMarksPortsThatCannotBeOpenedAndClosed_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("openFails");
    QTest::addColumn<QStringList>("closeFails");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("all free") << Words("ttyS0 ttyUSB0") << QStringList() << QStringList()
                              << Words("ttyS0 ttyUSB0");
    QTest::newRow("one held") << Words("ttyS0 ttyS1 ttyS3") << Words("ttyS1") << QStringList()
                              << QStringList{QStringLiteral("ttyS0"),
                                             QStringLiteral("ttyS1  (in use)"),
                                             QStringLiteral("ttyS3")};
    // The close that failed leaves the probe closed for the next port.
    QTest::newRow("close fails") << Words("ttyS0 ttyS1") << QStringList() << Words("ttyS0")
                                 << QStringList{QStringLiteral("ttyS0  (in use)"),
                                                QStringLiteral("ttyS1")};
    QTest::newRow("a path") << QStringList{QStringLiteral("/tmp/kelvora-sim/ttyKELV0")}
                            << QStringList{QStringLiteral("/tmp/kelvora-sim/ttyKELV0")}
                            << QStringList()
                            << QStringList{QStringLiteral("/tmp/kelvora-sim/ttyKELV0  (in use)")};
    QTest::newRow("none") << QStringList() << QStringList() << QStringList() << QStringList();
}

void TestComportOptions::probeMarksPortsThatCannotBeOpenedAndClosed()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, openFails);
    QFETCH(QStringList, closeFails);
    QFETCH(QStringList, texts);

    ProbeLine line;
    line.refuseOpen = QSet<QString>(openFails.begin(), openFails.end());
    line.refuseClose = QSet<QString>(closeFails.begin(), closeFails.end());
    const QList<PortChoice> choices = ProbePorts(ports, line);
    QStringList shown;
    QStringList names;
    for (const PortChoice &choice : choices) {
        shown << choice.Text();
        names << choice.name;
    }
    QCOMPARE(shown, texts);
    // The name is always the bare port, whatever the item shows.
    QCOMPARE(names, ports);
    QVERIFY(!line.Connected());
    QCOMPARE(line.opens, line.closes);
}

void TestComportOptions::chosenItem_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("current");
    QTest::addColumn<int>("index");

    const QStringList three{QStringLiteral("ttyS0"), QStringLiteral("ttyS1  (in use)"),
                            QStringLiteral("ttyS3")};
    QTest::newRow("current port listed") << three << QStringLiteral("ttyS3") << 2;
    QTest::newRow("current port absent: the first") << three << QStringLiteral("ttyUSB0") << 0;
    // In use by the debug link, say: OK without a change must keep it.
    QTest::newRow("current port in use: its marked item") << three << QStringLiteral("ttyS1") << 1;
    QTest::newRow("a stored mark names its port")
        << three << QStringLiteral("ttyS1  (in use)") << 1;
    QTest::newRow("a stored mark on a port free now")
        << three << QStringLiteral("ttyS3  (in use)") << 2;
    QTest::newRow("a name that only begins like a port") << three << QStringLiteral("ttyS") << 0;
    QTest::newRow("case counts") << three << QStringLiteral("TTYS3") << 0;
    QTest::newRow("no port") << QStringList() << QStringLiteral("ttyS0") << -1;
    QTest::newRow("no port, no name") << QStringList() << QString() << -1;
}

void TestComportOptions::chosenItem()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, current);
    QTEST(ChosenPortIndex(Items(texts), current), "index");
}

void TestComportOptions::openProblemInPlainWords_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");

    QTest::newRow("works") << 0 << QString();
    QTest::newRow("ENOENT") << ENOENT << QStringLiteral("there is no such port");
    QTest::newRow("ENODEV") << ENODEV << QStringLiteral("there is no such port");
    QTest::newRow("ENXIO") << ENXIO << QStringLiteral("there is no such port");
    QTest::newRow("EACCES") << EACCES << QStringLiteral("permission denied");
    QTest::newRow("EPERM") << EPERM << QStringLiteral("permission denied");
    QTest::newRow("EBUSY") << EBUSY << QStringLiteral("in use by another program");
    QTest::newRow("EWOULDBLOCK") << EWOULDBLOCK << QStringLiteral("in use by another program");
    QTest::newRow("ENOTTY") << ENOTTY << QStringLiteral("not a serial port");
    QTest::newRow("EIO") << EIO << QStringLiteral("Input/output error");
}

void TestComportOptions::openProblemInPlainWords()
{
    QFETCH(int, code);
    QFETCH(QString, says);
    const QString text = PortOpenProblem(QStringLiteral("ttyUSB0"), code);
    if (says.isEmpty()) {
        QVERIFY(text.isEmpty());
        return;
    }
    QVERIFY2(text.startsWith(QStringLiteral("Comport ttyUSB0 cannot be opened: ")),
             qPrintable(text));
    QVERIFY2(text.contains(says), qPrintable(text));
    // Only a refusal is about the user's groups.
    QCOMPARE(text.contains(QStringLiteral("dialout group")), code == EACCES || code == EPERM);
}

namespace {

// "tcp://p1:4001" ... "tcp://pN:4001".
QStringList NumberedPorts(int n)
{
    QStringList names;
    for (int i = 1; i <= n; ++i)
        names << QStringLiteral("tcp://p%1:4001").arg(i);
    return names;
}

} // namespace

void TestComportOptions::rememberNetPort_data()
{
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("remembered");

    const QStringList two{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://b:2")};
    QTest::newRow("new first") << two << QStringLiteral("tcp://c:3")
                               << QStringList{QStringLiteral("tcp://c:3"),
                                              QStringLiteral("tcp://a:1"),
                                              QStringLiteral("rfc2217://b:2")};
    QTest::newRow("first list") << QStringList() << QStringLiteral("tcp://c:3")
                                << QStringList{QStringLiteral("tcp://c:3")};
    QTest::newRow("chosen again moves to the front")
        << two << QStringLiteral("rfc2217://b:2")
        << QStringList{QStringLiteral("rfc2217://b:2"), QStringLiteral("tcp://a:1")};
    QTest::newRow("another spelling is the same port")
        << QStringList{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://gw:1")}
        << QStringLiteral("RFC2217://gw:1")
        << QStringList{QStringLiteral("rfc2217://gw:1"), QStringLiteral("tcp://a:1")};
    QTest::newRow("the same host and port by another kind is another port")
        << QStringList{QStringLiteral("tcp://gw:1")} << QStringLiteral("rfc2217://gw:1")
        << QStringList{QStringLiteral("rfc2217://gw:1"), QStringLiteral("tcp://gw:1")};
    QTest::newRow("eight at most: the oldest goes")
        << NumberedPorts(8) << QStringLiteral("tcp://new:1")
        << QStringList{QStringLiteral("tcp://new:1")} + NumberedPorts(7);
    QTest::newRow("eight, one chosen again: none goes")
        << NumberedPorts(8) << QStringLiteral("tcp://p8:4001")
        << QStringList{QStringLiteral("tcp://p8:4001")} + NumberedPorts(7);
    // A hand-edited file: spellings made one, duplicates and names that are
    // no network port dropped, the list cut to eight.
    QTest::newRow("a stored list is tidied")
        << QStringList{QStringLiteral("TCP://a:1"), QStringLiteral("tcp://a:1"),
                       QStringLiteral("ttyS0"), QStringLiteral("tcp://gw"),
                       QStringLiteral("tcp://[::1]:4001")}
        << QStringLiteral("tcp://c:3")
        << QStringList{QStringLiteral("tcp://c:3"), QStringLiteral("tcp://a:1"),
                       QStringLiteral("tcp://[::1]:4001")};
    QTest::newRow("a stored list of twelve is cut to eight")
        << NumberedPorts(12) << QString() << NumberedPorts(8);
    QTest::newRow("a name that does not parse is not remembered")
        << two << QStringLiteral("tcp://gw") << two;
    QTest::newRow("a serial port is not remembered") << two << QStringLiteral("ttyUSB0") << two;
}

void TestComportOptions::rememberNetPort()
{
    QFETCH(QStringList, recent);
    QFETCH(QString, chosen);
    QTEST(RememberNetPort(recent, chosen), "remembered");
}

void TestComportOptions::itemsOfferRememberedNetPortsAfterTheSerialOnes_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("chosen");

    const QStringList serial{QStringLiteral("ttyS0"), QStringLiteral("ttyS1  (in use)")};
    QTest::newRow("a serial port current")
        << QStringLiteral("ttyS1")
        << serial + QStringList{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://b:2")} << 1;
    QTest::newRow("a remembered network port current")
        << QStringLiteral("rfc2217://b:2")
        << serial + QStringList{QStringLiteral("rfc2217://b:2"), QStringLiteral("tcp://a:1")} << 2;
    // Set in the file by hand, or remembered in another spelling.
    QTest::newRow("a network port current, not remembered")
        << QStringLiteral("tcp://c:3")
        << serial + QStringList{QStringLiteral("tcp://c:3"), QStringLiteral("tcp://a:1"),
                                QStringLiteral("rfc2217://b:2")}
        << 2;
    QTest::newRow("a network port current, spelled otherwise")
        << QStringLiteral("TCP://a:1")
        << serial + QStringList{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://b:2")} << 2;
    // Names no port: as for a serial port that is gone, the first item.
    QTest::newRow("a current network name that does not parse")
        << QStringLiteral("tcp://gw")
        << serial + QStringList{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://b:2")} << 0;
}

void TestComportOptions::itemsOfferRememberedNetPortsAfterTheSerialOnes()
{
    QFETCH(QString, current);
    const QStringList recent{QStringLiteral("tcp://a:1"), QStringLiteral("rfc2217://b:2")};
    const QList<PortChoice> items = ComportItems(
        Items({QStringLiteral("ttyS0"), QStringLiteral("ttyS1  (in use)")}), recent, current);
    QStringList texts;
    for (const PortChoice &item : items)
        texts << item.Text();
    QTEST(texts, "texts");
    QTEST(ChosenPortIndex(items, PortNameAsListed(current)), "chosen");
}

void TestComportOptions::typedText_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("port");  // when taken
    QTest::addColumn<QString>("error"); // when refused

    const QStringList items{QStringLiteral("ttyS0"), QStringLiteral("ttyS1  (in use)"),
                            QStringLiteral("tcp://a:1")};
    const QString advice = QStringLiteral("Choose a port from the list, or type a network port "
                                          "as rfc2217://HOST:PORT or tcp://HOST:PORT.");
    QTest::newRow("an item") << items << QStringLiteral("ttyS0") << QStringLiteral("ttyS0")
                             << QString();
    QTest::newRow("a marked item: its bare port")
        << items << QStringLiteral("ttyS1  (in use)") << QStringLiteral("ttyS1") << QString();
    QTest::newRow("a marked port typed bare")
        << items << QStringLiteral("ttyS1") << QString()
        << QStringLiteral("ttyS1 is not a port in the list. ") + advice;
    QTest::newRow("spaces around an item")
        << items << QStringLiteral("  ttyS0 ") << QStringLiteral("ttyS0") << QString();
    QTest::newRow("a network item")
        << items << QStringLiteral("tcp://a:1") << QStringLiteral("tcp://a:1") << QString();
    QTest::newRow("a new network port") << items << QStringLiteral("tcp://127.0.0.1:4001")
                                        << QStringLiteral("tcp://127.0.0.1:4001") << QString();
    QTest::newRow("a new network port in another spelling")
        << items << QStringLiteral("RFC2217://gw.plant:2217 ")
        << QStringLiteral("rfc2217://gw.plant:2217") << QString();
    QTest::newRow("an IPv6 network port") << items << QStringLiteral("tcp://[fe80::1]:4001")
                                          << QStringLiteral("tcp://[fe80::1]:4001") << QString();
    QTest::newRow("no port number")
        << items << QStringLiteral("tcp://gw") << QString()
        << QStringLiteral("tcp://gw has no port: write rfc2217://HOST:PORT or tcp://HOST:PORT.");
    QTest::newRow("a port number out of range")
        << items << QStringLiteral("rfc2217://gw:70000") << QString()
        << QStringLiteral("rfc2217://gw:70000 has a port that is not a number from 1 to 65535: "
                          "write rfc2217://HOST:PORT or tcp://HOST:PORT.");
    QTest::newRow("another scheme")
        << items << QStringLiteral("telnet://gw:23") << QString()
        << QStringLiteral("telnet://gw:23 is not a network port name: write rfc2217://HOST:PORT "
                          "or tcp://HOST:PORT.");
    QTest::newRow("a port not listed")
        << items << QStringLiteral("ttyUSB7") << QString()
        << QStringLiteral("ttyUSB7 is not a port in the list. ") + advice;
    QTest::newRow("case counts") << items << QStringLiteral("TTYS0") << QString()
                                 << QStringLiteral("TTYS0 is not a port in the list. ") + advice;
    QTest::newRow("nothing typed") << items << QString() << QString() << advice;
    // As before the box took typing: OK on an empty list stores no port.
    QTest::newRow("nothing typed, nothing listed")
        << QStringList() << QStringLiteral(" ") << QString() << QString();
    QTest::newRow("a port typed, nothing listed")
        << QStringList() << QStringLiteral("ttyS0") << QString()
        << QStringLiteral("ttyS0 is not a port in the list. ") + advice;
}

void TestComportOptions::typedText()
{
    QFETCH(QStringList, items);
    QFETCH(QString, typed);
    QFETCH(QString, port);
    QFETCH(QString, error);
    const Result<QString> taken = PortOfTypedText(Items(items), typed);
    QCOMPARE(taken.error(), error);
    QCOMPARE(taken.ok(), error.isEmpty());
    if (taken)
        QCOMPARE(*taken, port);
}

QTEST_APPLESS_MAIN(TestComportOptions)
#include "tst_comportoptions.moc"
