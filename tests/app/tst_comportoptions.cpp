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
    QList<PortChoice> choices;
    for (const QString &text : texts) {
        const bool marked = text.endsWith(QStringLiteral("  (in use)"));
        choices.append({marked ? text.chopped(10) : text, marked});
    }
    QTEST(ChosenPortIndex(choices, current), "index");
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

QTEST_APPLESS_MAIN(TestComportOptions)
#include "tst_comportoptions.moc"
