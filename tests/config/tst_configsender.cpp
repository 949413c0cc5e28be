#include "config/configsender.h"
#include "config/tmessageboxf.h"
#include "modules/moduletable.h"

#include <QApplication>
#include <QProgressBar>
#include <QTest>

namespace {

struct Write
{
    int address = 0;
    int first = 0;
    QList<int> values; // the 16-bit patterns
    int progress = -1; // the bar's position when the write went out
    int maximum = -1;
    QString caption;
};

TMessageBoxF *ProgressBox(QWidget *owner)
{
    const auto boxes = owner->findChildren<TMessageBoxF *>();
    return boxes.isEmpty() ? nullptr : boxes.first();
}

} // namespace

class TestConfigSender : public QObject
{
    Q_OBJECT

private slots:
    void sendsListedModulesInOrder_data();
    void sendsListedModulesInOrder();
};

void TestConfigSender::sendsListedModulesInOrder_data()
{
    QTest::addColumn<QList<int>>("listed");  // the grid's rows
    QTest::addColumn<QList<int>>("inUse");   // listed modules with input types
    QTest::addColumn<QList<int>>("failing"); // modules whose write fails
    QTest::addColumn<QList<int>>("written"); // addresses written, in order
    QTest::addColumn<QList<int>>("steps");   // bar position at each write

    QTest::newRow("three modules") << QList<int>{3, 7, 9} << QList<int>{3, 7, 9} << QList<int>{}
                                   << QList<int>{3, 7, 9} << QList<int>{1, 2, 3};
    QTest::newRow("module without inputs in use is skipped but counted")
        << QList<int>{3, 7, 9} << QList<int>{3, 9} << QList<int>{} << QList<int>{3, 9}
        << QList<int>{1, 3};
    QTest::newRow("a module that does not answer is passed over")
        << QList<int>{3, 7, 9} << QList<int>{3, 7, 9} << QList<int>{7} << QList<int>{3, 7, 9}
        << QList<int>{1, 2, 3};
    QTest::newRow("no rows") << QList<int>{} << QList<int>{} << QList<int>{} << QList<int>{}
                             << QList<int>{};
}

void TestConfigSender::sendsListedModulesInOrder()
{
    QFETCH(QList<int>, listed);
    QFETCH(QList<int>, inUse);
    QFETCH(QList<int>, failing);
    QFETCH(QList<int>, written);
    QFETCH(QList<int>, steps);

    QWidget mainWindow;
    ModuleTable table;
    for (int m : inUse)
        table.input_type[8][m] = 1;
    // Types of a module that is not listed never travel.
    table.input_type[1][40] = 2;

    QList<Write> writes;
    SendConfigurationRows(
        &mainWindow, table, listed,
        [&](const BusTarget &target, int first, int count, const int16_t *values) {
            Write w;
            w.address = target.address;
            w.first = first;
            for (int i = 0; i < count; ++i)
                w.values.append(static_cast<uint16_t>(values[i]));
            if (TMessageBoxF *box = ProgressBox(&mainWindow)) {
                w.progress = box->ProgressBar1->value();
                w.maximum = box->ProgressBar1->maximum();
                w.caption = box->windowTitle();
            }
            writes.append(w);
            return !failing.contains(target.address);
        });

    QCOMPARE(writes.size(), written.size());
    for (qsizetype i = 0; i < writes.size(); ++i) {
        QCOMPARE(writes[i].address, written[i]);
        QCOMPARE(writes[i].first, 0);
        QCOMPARE(writes[i].values, (QList<int>{0, 0, 0, 1}));
        QCOMPARE(writes[i].progress, steps[i]);
        QCOMPARE(writes[i].maximum, listed.size());
        QCOMPARE(writes[i].caption, QStringLiteral("Sending Configuration"));
    }
    QCOMPARE(ProgressBox(&mainWindow), nullptr);
}

QTEST_MAIN(TestConfigSender)
#include "tst_configsender.moc"
