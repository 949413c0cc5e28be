#include "widgets/stringgrid.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <set>
#include <utility>

namespace {

constexpr int kRowHeight = 21;

// A shown grid whose viewport is exactly `viewportRows` rows of 21 pixels
// high plus `extra` pixels, columns 64 wide except the hidden ones.
struct GridFixture
{
    std::unique_ptr<StringGrid> grid = std::make_unique<StringGrid>();

    GridFixture(int cols, int rows, int fixedRows, int viewportRows, int extra = 0)
    {
        grid->setFrameShape(QFrame::NoFrame);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->SetColCount(cols);
        grid->SetRowCount(rows);
        grid->SetFixedRows(fixedRows);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                grid->SetCell(c, r, QStringLiteral("%1,%2").arg(c).arg(r));
        }
        const int scrollBar = grid->verticalScrollBar()->sizeHint().width();
        grid->resize(cols * 64 + scrollBar + 40, viewportRows * kRowHeight + extra);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
        QCOMPARE(grid->viewport()->height(), viewportRows * kRowHeight + extra);
    }
};

} // namespace

class TestStringGrid : public QObject
{
    Q_OBJECT

private slots:
    void fixedRowStaysAtTopWhileRowsScroll();
    void visibleRowCount_data();
    void visibleRowCount();
    void hiddenColumnTakesNoRoomAndIsSkipped();
    void selectHookMayRefuse();
    void clickOnPartlyShownRowScrollsItIntoView();
    void drawHookPaintsOverDefaultPaintingOfVisibleCellsOnly();
    void fixedRowNeedsASecondRow();
    void shrinkingRowsPullsTopRowBack();
};

void TestStringGrid::fixedRowStaysAtTopWhileRowsScroll()
{
    GridFixture f(3, 30, 1, 10);
    StringGrid &grid = *f.grid;
    QSignalSpy topLeft(&grid, &StringGrid::TopLeftChanged);
    const QPoint origin = grid.viewport()->geometry().topLeft();

    QCOMPARE(grid.TopRow(), 1);
    grid.verticalScrollBar()->setValue(5); // as a user dragging the bar would
    QCOMPARE(grid.TopRow(), 6);
    QCOMPARE(topLeft.count(), 1);

    QCOMPARE(grid.CellRect(1, 0), QRect(origin + QPoint(64, 0), QSize(64, kRowHeight)));
    QCOMPARE(grid.CellRect(1, 6), QRect(origin + QPoint(64, kRowHeight), QSize(64, kRowHeight)));
    QVERIFY(grid.CellRect(1, 5).isEmpty());
    QVERIFY(grid.CellRect(1, 1).isEmpty());

    int col = -1;
    int row = -1;
    QVERIFY(grid.CellAt(origin + QPoint(70, 3), &col, &row));
    QCOMPARE(std::make_pair(col, row), std::make_pair(1, 0));
    QVERIFY(grid.CellAt(origin + QPoint(70, kRowHeight + 3), &col, &row));
    QCOMPARE(std::make_pair(col, row), std::make_pair(1, 6));

    // The last row can be scrolled to the bottom, and no further.
    grid.SetTopRow(1000);
    QCOMPARE(grid.TopRow(), 30 - 9);
    QCOMPARE(grid.CellRect(0, 29).bottom(), origin.y() + 10 * kRowHeight - 1);
}

void TestStringGrid::visibleRowCount_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("fixedRows");
    QTest::addColumn<int>("viewportRows");
    QTest::addColumn<int>("extra");
    QTest::addColumn<int>("visible");

    QTest::newRow("fixed header, many rows") << 40 << 1 << 10 << 0 << 9;
    QTest::newRow("partly shown row does not count") << 40 << 1 << 10 << 20 << 9;
    QTest::newRow("no fixed row") << 40 << 0 << 10 << 5 << 10;
    QTest::newRow("fewer rows than room") << 4 << 1 << 10 << 0 << 3;
    QTest::newRow("single empty row") << 1 << 0 << 10 << 0 << 1;
}

void TestStringGrid::visibleRowCount()
{
    QFETCH(int, rows);
    QFETCH(int, fixedRows);
    QFETCH(int, viewportRows);
    QFETCH(int, extra);
    QFETCH(int, visible);
    GridFixture f(2, rows, fixedRows, viewportRows, extra);
    QCOMPARE(f.grid->VisibleRowCount(), visible);
}

void TestStringGrid::hiddenColumnTakesNoRoomAndIsSkipped()
{
    GridFixture f(4, 5, 1, 8);
    StringGrid &grid = *f.grid;
    grid.SetColWidth(2, 0);
    const QPoint origin = grid.viewport()->geometry().topLeft();

    QVERIFY(grid.CellRect(2, 1).isEmpty());
    QCOMPARE(grid.CellRect(3, 1).left(), origin.x() + 128);
    int col = -1;
    int row = -1;
    QVERIFY(grid.CellAt(origin + QPoint(128, kRowHeight + 1), &col, &row));
    QCOMPARE(col, 3);
    // Its data stays reachable.
    QCOMPARE(grid.Cell(2, 3), QStringLiteral("2,3"));

    QVERIFY(grid.SetCurrentCell(1, 1));
    QTest::keyClick(&grid, Qt::Key_Right);
    QCOMPARE(grid.Col(), 3);
    QTest::keyClick(&grid, Qt::Key_Left);
    QCOMPARE(grid.Col(), 1);
    QVERIFY(!grid.SetCurrentCell(2, 1));
}

void TestStringGrid::selectHookMayRefuse()
{
    GridFixture f(3, 6, 1, 8);
    StringGrid &grid = *f.grid;
    QList<std::pair<int, int>> asked;
    grid.SetSelectCellHook([&asked](int col, int row) {
        asked.append({col, row});
        return !(col == 2 && row == 3);
    });
    const QPoint origin = grid.viewport()->geometry().topLeft();

    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, QPoint(64 + 5, 2 * kRowHeight + 5));
    QCOMPARE(asked.last(), std::make_pair(1, 2));
    QCOMPARE(std::make_pair(grid.Col(), grid.Row()), std::make_pair(1, 2));

    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, QPoint(128 + 5, 3 * kRowHeight + 5));
    QCOMPARE(asked.last(), std::make_pair(2, 3));
    QCOMPARE(std::make_pair(grid.Col(), grid.Row()), std::make_pair(1, 2));

    // The fixed row is never asked for and never becomes current.
    const auto before = asked.size();
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(asked.size(), before);
    QVERIFY(!grid.SetCurrentCell(0, 0));
    QCOMPARE(origin, grid.viewport()->geometry().topLeft());
}

void TestStringGrid::clickOnPartlyShownRowScrollsItIntoView()
{
    // Header plus 4 full rows and 10 pixels of the fifth.
    GridFixture f(2, 20, 1, 5, 10);
    StringGrid &grid = *f.grid;
    QSignalSpy topLeft(&grid, &StringGrid::TopLeftChanged);
    QCOMPARE(grid.VisibleRowCount(), 4);

    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, QPoint(70, 5 * kRowHeight + 3));
    QCOMPARE(grid.Row(), 5);
    QCOMPARE(grid.TopRow(), 2);
    QCOMPARE(topLeft.count(), 1);

    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid.Row(), 19);
    QCOMPARE(grid.TopRow(), 16);
    QTest::keyClick(&grid, Qt::Key_PageUp);
    QCOMPARE(grid.Row(), 15);
    QCOMPARE(grid.TopRow(), 15);
}

void TestStringGrid::drawHookPaintsOverDefaultPaintingOfVisibleCellsOnly()
{
    GridFixture f(3, 1000, 1, 10);
    StringGrid &grid = *f.grid;
    grid.SetColWidth(2, 0);
    grid.SetColor(QColor(160, 160, 164));
    grid.SetFixedColor(QColor(10, 20, 30));
    std::set<std::pair<int, int>> painted;
    grid.SetDrawCellHook([&painted](QPainter &painter, int col, int row, const QRect &rect) {
        painted.insert({col, row});
        if (col == 1)
            painter.fillRect(rect.adjusted(0, 0, -32, 0), Qt::red);
    });
    grid.SetTopRow(500);

    const QImage image = grid.viewport()->grab().toImage();
    // Only the header and the nine rows shown, and never the hidden column.
    std::set<std::pair<int, int>> expected;
    for (int col = 0; col < 2; ++col) {
        expected.insert({col, 0});
        for (int row = 500; row < 509; ++row)
            expected.insert({col, row});
    }
    QCOMPARE(painted, expected);

    // The hook drew over the default fill of column 1, and the default fill is
    // the fixed colour in the header and the grid's colour below it.
    QCOMPARE(image.pixelColor(64 + 5, 30), QColor(Qt::red));
    QCOMPARE(image.pixelColor(64 + 50, 30), QColor(160, 160, 164));
    QCOMPARE(image.pixelColor(64 + 50, 5), QColor(10, 20, 30));
    QCOMPARE(image.pixelColor(60, 18), QColor(10, 20, 30));
}

void TestStringGrid::fixedRowNeedsASecondRow()
{
    StringGrid grid;
    grid.SetRowCount(1);
    grid.SetFixedRows(1);
    QCOMPARE(grid.FixedRows(), 0);
    grid.SetRowCount(3);
    grid.SetFixedRows(1);
    QCOMPARE(grid.FixedRows(), 1);
    QCOMPARE(grid.Row(), 1);
    grid.SetRowCount(1);
    QCOMPARE(grid.FixedRows(), 0);
    QCOMPARE(grid.Row(), 0);
}

void TestStringGrid::shrinkingRowsPullsTopRowBack()
{
    GridFixture f(2, 50, 1, 10);
    StringGrid &grid = *f.grid;
    grid.SetTopRow(30);
    QSignalSpy topLeft(&grid, &StringGrid::TopLeftChanged);
    grid.SetRowCount(5);
    QCOMPARE(grid.TopRow(), 1);
    QCOMPARE(topLeft.count(), 1);
    QVERIFY(!grid.CellRect(0, 4).isEmpty());
}

QTEST_MAIN(TestStringGrid)
#include "tst_stringgrid.moc"
