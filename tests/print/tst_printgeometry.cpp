#include "print/printgeometry.h"

#include <QTest>

// Where the page's picture lands on the sheet: the uniform margin, the
// target area and the scaled, centred picture.
class TestPrintGeometry : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
};

void TestPrintGeometry::placement_data()
{
    QTest::addColumn<QList<int>>("sheet"); // offset x, y, sheet w, h, printable w, h
    QTest::addColumn<QSize>("source");
    QTest::addColumn<int>("margin");
    QTest::addColumn<QRect>("target");
    QTest::addColumn<QRect>("picture");

    QTest::newRow("1000 x 500 on 4000 x 6000: 2000 down")
        << QList<int>{0, 0, 4000, 6000, 4000, 6000} << QSize(1000, 500) << 0
        << QRect(0, 0, 4000, 6000) << QRect(0, 2000, 4000, 2000);
    // Offsets 100 and 150, right and bottom margins 200: m = 200 all round,
    // the target 4600 x 6600 at (100, 50) from the printable origin.
    QTest::newRow("the largest margin all round")
        << QList<int>{100, 150, 5000, 7000, 4700, 6650} << QSize(1000, 500) << 200
        << QRect(100, 50, 4600, 6600) << QRect(0, 3300 - 1150, 4600, 2300);
    QTest::newRow("wide source on a landscape sheet: full height, centred across")
        << QList<int>{0, 0, 6000, 4000, 6000, 4000} << QSize(1000, 800) << 0
        << QRect(0, 0, 6000, 4000) << QRect(500, 0, 5000, 4000);
    QTest::newRow("the same proportions fill the area")
        << QList<int>{0, 0, 2000, 1000, 2000, 1000} << QSize(1000, 500) << 0
        << QRect(0, 0, 2000, 1000) << QRect(0, 0, 2000, 1000);
    QTest::newRow("odd sizes take integer halves")
        << QList<int>{0, 0, 1001, 1001, 1001, 1001} << QSize(300, 100) << 0
        << QRect(0, 0, 1001, 1001) << QRect(0, 500 - 166, 1001, 333);
    QTest::newRow("a sheet of size 0 counts as the printable area")
        << QList<int>{0, 0, 0, 0, 4000, 6000} << QSize(1000, 500) << 0 << QRect(0, 0, 4000, 6000)
        << QRect(0, 2000, 4000, 2000);
    QTest::newRow("a page without size draws nothing")
        << QList<int>{0, 0, 4000, 6000, 4000, 6000} << QSize(0, 500) << 0 << QRect() << QRect();
    QTest::newRow("margins that leave no area draw nothing")
        << QList<int>{600, 0, 1000, 1000, 400, 1000} << QSize(10, 10) << 600 << QRect() << QRect();
}

void TestPrintGeometry::placement()
{
    QFETCH(QList<int>, sheet);
    QFETCH(QSize, source);
    QFETCH(QRect, target);
    QFETCH(QRect, picture);
    const SheetGeometry g{sheet[0], sheet[1], sheet[2], sheet[3], sheet[4], sheet[5]};
    const PrintPlacement p = PlacePrintPicture(g, source);
    QTEST(p.margin, "margin");
    QCOMPARE(p.IsEmpty(), picture.isNull());
    if (p.IsEmpty())
        return;
    QCOMPARE(p.target, target);
    QCOMPARE(p.picture, picture);
}

QTEST_APPLESS_MAIN(TestPrintGeometry)
#include "tst_printgeometry.moc"
