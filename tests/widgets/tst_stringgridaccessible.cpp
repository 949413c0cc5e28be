// The grid as assistive technology reads it: through Qt's accessibility
// table interface, as a screen reader or an outside GUI test would.

#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QTest>

#include <memory>

namespace {

// The Metering page's shape: module, eight inputs, the hidden address and the
// hidden "read last" flag; a header row and three module rows.
std::unique_ptr<StringGrid> MeteringGrid()
{
    auto grid = std::make_unique<StringGrid>();
    grid->setFrameShape(QFrame::NoFrame);
    grid->SetColCount(11);
    grid->SetColWidth(9, 0);
    grid->SetColWidth(10, 0);
    grid->SetRowCount(4);
    grid->SetFixedRows(1);
    for (int k = 1; k <= 8; ++k)
        grid->SetCell(k, 0, QStringLiteral("INPUT %1").arg(k));
    const int modules[3] = {2, 7, 40};
    for (int r = 1; r <= 3; ++r) {
        grid->SetCell(0, r, QStringLiteral("Module %1").arg(modules[r - 1]));
        for (int k = 1; k <= 8; ++k)
            grid->SetCell(k, r, QStringLiteral("%1.%2").arg(modules[r - 1]).arg(k));
        grid->SetCell(9, r, QStringLiteral("address %1").arg(modules[r - 1]));
        grid->SetCell(10, r, QStringLiteral("flag %1").arg(r == 1 ? 1 : 0));
    }
    grid->resize(11 * 64 + 40, 6 * 21);
    return grid;
}

QAccessibleTableInterface *TableOf(StringGrid *grid)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid);
    return iface ? iface->tableInterface() : nullptr;
}

} // namespace

class TestStringGridAccessible : public QObject
{
    Q_OBJECT

private slots:
    void gridIsATableOfItsShownCells();
    void headerRowNamesTheColumns();
    void childrenInReadingOrder();
    void hiddenColumnsAreNotTold();
    void aChangedCellReadsItsNewText();
    void shapeFollowsTheGrid();
    void currentCellIsSelectedAndFocused();
    void cellsLieWhereTheyArePainted();
};

void TestStringGridAccessible::gridIsATableOfItsShownCells()
{
    const auto grid = MeteringGrid();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid.get());
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Table);
    QAccessibleTableInterface *table = iface->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnCount(), 9);

    QAccessibleInterface *cell = table->cellAt(1, 3);
    QVERIFY(cell);
    QCOMPARE(cell->role(), QAccessible::Cell);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("7.3"));
    QCOMPARE(cell->parent(), iface);
    QVERIFY(cell->state().readOnly);
    QAccessibleTableCellInterface *place = cell->tableCellInterface();
    QVERIFY(place);
    QCOMPARE(place->rowIndex(), 1);
    QCOMPARE(place->columnIndex(), 3);
    QCOMPARE(place->rowExtent(), 1);
    QCOMPARE(place->columnExtent(), 1);
    QCOMPARE(place->table(), iface);

    QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("Module 2"));
    QCOMPARE(table->cellAt(2, 8)->text(QAccessible::Name), QStringLiteral("40.8"));
    QCOMPARE(table->cellAt(3, 0), nullptr);
    QCOMPARE(table->cellAt(0, 9), nullptr);
    // The same cell is the same object each time it is asked for.
    QCOMPARE(table->cellAt(1, 3), cell);
}

void TestStringGridAccessible::headerRowNamesTheColumns()
{
    const auto grid = MeteringGrid();
    QAccessibleTableInterface *table = TableOf(grid.get());
    QVERIFY(table);
    QCOMPARE(table->columnDescription(0), QString());
    QCOMPARE(table->columnDescription(1), QStringLiteral("INPUT 1"));
    QCOMPARE(table->columnDescription(8), QStringLiteral("INPUT 8"));

    const QList<QAccessibleInterface *> headers =
        table->cellAt(2, 5)->tableCellInterface()->columnHeaderCells();
    QCOMPARE(headers.size(), 1);
    QCOMPARE(headers[0]->role(), QAccessible::ColumnHeader);
    QCOMPARE(headers[0]->text(QAccessible::Name), QStringLiteral("INPUT 5"));

    // Without a fixed row there is no header, and every row is a data row.
    StringGrid plain;
    plain.SetColCount(3);
    plain.SetRowCount(1);
    plain.SetCell(1, 0, QStringLiteral("x"));
    QAccessibleTableInterface *plainTable = TableOf(&plain);
    QCOMPARE(plainTable->rowCount(), 1);
    QCOMPARE(plainTable->cellAt(0, 1)->text(QAccessible::Name), QStringLiteral("x"));
    QVERIFY(plainTable->cellAt(0, 1)->tableCellInterface()->columnHeaderCells().isEmpty());
    QCOMPARE(plainTable->columnDescription(1), QString());
}

// The header cells first, then the rows from the top, each from the left: the
// order a reader walks the children in.
void TestStringGridAccessible::childrenInReadingOrder()
{
    const auto grid = MeteringGrid();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid.get());
    QCOMPARE(iface->childCount(), 9 + 3 * 9);
    QCOMPARE(iface->child(0)->role(), QAccessible::ColumnHeader);
    QCOMPARE(iface->child(0)->text(QAccessible::Name), QString());
    QCOMPARE(iface->child(8)->text(QAccessible::Name), QStringLiteral("INPUT 8"));
    QCOMPARE(iface->child(9)->text(QAccessible::Name), QStringLiteral("Module 2"));
    QCOMPARE(iface->child(9 + 9 + 4)->text(QAccessible::Name), QStringLiteral("7.4"));
    QCOMPARE(iface->child(iface->childCount() - 1)->text(QAccessible::Name),
             QStringLiteral("40.8"));
    QCOMPARE(iface->child(iface->childCount()), nullptr);
    for (int i = 0; i < iface->childCount(); ++i)
        QCOMPARE(iface->indexOfChild(iface->child(i)), i);
}

void TestStringGridAccessible::hiddenColumnsAreNotTold()
{
    const auto grid = MeteringGrid();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid.get());
    for (int i = 0; i < iface->childCount(); ++i) {
        const QString text = iface->child(i)->text(QAccessible::Name);
        QVERIFY2(!text.startsWith(QLatin1StringView("address")) &&
                     !text.startsWith(QLatin1StringView("flag")),
                 qPrintable(text));
    }
    // A column hidden in the middle closes the gap: column 3 is grid column 4.
    grid->SetColWidth(3, 0);
    QAccessibleTableInterface *table = iface->tableInterface();
    QCOMPARE(table->columnCount(), 8);
    QCOMPARE(table->cellAt(0, 3)->text(QAccessible::Name), QStringLiteral("2.4"));
    QCOMPARE(table->columnDescription(3), QStringLiteral("INPUT 4"));
}

void TestStringGridAccessible::aChangedCellReadsItsNewText()
{
    const auto grid = MeteringGrid();
    QAccessibleTableInterface *table = TableOf(grid.get());
    QAccessibleInterface *cell = table->cellAt(0, 4);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("2.4"));
    grid->SetCell(4, 1, QStringLiteral("----"));
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("----"));
    grid->SetCell(4, 0, QStringLiteral("Input 4"));
    QCOMPARE(table->columnDescription(4), QStringLiteral("Input 4"));
    grid->ClearCells();
    QCOMPARE(cell->text(QAccessible::Name), QString());
}

void TestStringGridAccessible::shapeFollowsTheGrid()
{
    const auto grid = MeteringGrid();
    QAccessibleTableInterface *table = TableOf(grid.get());
    QAccessibleInterface *last = table->cellAt(2, 1);
    QVERIFY(last->isValid());

    grid->SetRowCount(3);
    QCOMPARE(table->rowCount(), 2);
    QVERIFY(!last->isValid());
    QVERIFY(last->state().invalid);
    QCOMPARE(last->text(QAccessible::Name), QString());

    grid->SetColCount(5);
    QCOMPARE(table->columnCount(), 5);
    // A grid emptied down to its one row loses its header.
    grid->SetRowCount(1);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->columnDescription(1), QString());
}

void TestStringGridAccessible::currentCellIsSelectedAndFocused()
{
    const auto grid = MeteringGrid();
    grid->show();
    QVERIFY(QTest::qWaitForWindowActive(grid.get()));
    grid->setFocus();
    QVERIFY(grid->hasFocus());
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid.get());
    QAccessibleTableInterface *table = iface->tableInterface();

    QVERIFY(grid->SetCurrentCell(3, 2));
    QAccessibleInterface *current = table->cellAt(1, 3);
    QCOMPARE(table->selectedCellCount(), 1);
    QCOMPARE(table->selectedCells(), QList<QAccessibleInterface *>{current});
    QVERIFY(current->state().selected);
    QVERIFY(current->state().focused);
    QVERIFY(current->tableCellInterface()->isSelected());
    QCOMPARE(iface->focusChild(), current);
    QVERIFY(!table->cellAt(0, 3)->state().selected);

    grid->clearFocus();
    QVERIFY(!current->state().focused);
    QCOMPARE(iface->focusChild(), nullptr);
}

void TestStringGridAccessible::cellsLieWhereTheyArePainted()
{
    const auto grid = MeteringGrid();
    grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(grid.get());
    QAccessibleTableInterface *table = iface->tableInterface();

    QAccessibleInterface *cell = table->cellAt(1, 2);
    const QRect local = grid->CellRect(2, 2);
    QVERIFY(!local.isEmpty());
    const QRect onScreen(grid->mapToGlobal(local.topLeft()), local.size());
    QCOMPARE(cell->rect(), onScreen);
    QVERIFY(!cell->state().invisible);
    QCOMPARE(iface->childAt(onScreen.center().x(), onScreen.center().y()), cell);

    // Five rows of 21 pixels show the header and four rows; a scrolled-out
    // row is invisible and has no place on the screen.
    grid->SetRowCount(12);
    grid->SetTopRow(6);
    QAccessibleInterface *above = table->cellAt(0, 1);
    QVERIFY(above->state().invisible);
    QVERIFY(above->rect().isEmpty());
}

QTEST_MAIN(TestStringGridAccessible)
#include "tst_stringgridaccessible.moc"
