#include "config/configpage.h"
#include "config/configtree.h"
#include "modules/moduletable.h"
#include "modules/readingconversion.h"
#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QComboBox>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

#include <memory>

namespace {

// Texts the user sees, written out again here.
const QString kNotUsedText = QStringLiteral("-----");
const QString kPt100Text = QStringLiteral("Pt100");

// A shown page on its own table, after start-up (tree built, grid refreshed).
struct PageFixture
{
    ModuleTable table;
    std::unique_ptr<ConfigPage> page = std::make_unique<ConfigPage>(table);
    ConfigTree *tree = page->Config_Tree;
    StringGrid *grid = page->Config_Grid;

    PageFixture()
    {
        page->BuildConfigTree();
        page->RefreshConfigGrid();
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    }

    QTreeWidgetItem *Group(int g) const { return tree->topLevelItem(g - 1); }
    QTreeWidgetItem *Module(int m) const
    {
        const int g = ModuleTable::GroupOf(m);
        return Group(g)->child(m - ModuleTable::FirstModuleOfGroup(g));
    }

    void ClickText(QTreeWidgetItem *node) const
    {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
    }
    void ClickButton(QTreeWidgetItem *node) const
    {
        const QRect rect = tree->visualItemRect(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() - tree->indentation() / 2, rect.center().y()));
    }
    void ClickEmptySpace() const
    {
        const QPoint below(60, tree->viewport()->height() - 3);
        QVERIFY(!tree->itemAt(below));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, below);
    }
    // Chooses a grid cell with the mouse, as the user does.
    void ChooseCell(int col, int row) const
    {
        const QRect cell = grid->CellRect(col, row);
        QVERIFY(!cell.isEmpty());
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid, cell.center()));
    }
    int RowOf(int m) const
    {
        for (int row = 1; row < grid->RowCount(); ++row) {
            if (grid->Cell(0, row) == QStringLiteral("Module %1").arg(m))
                return row;
        }
        return -1;
    }
    // Column 0 of the module rows.
    QStringList ListedModules() const
    {
        QStringList modules;
        for (int row = 1; row < grid->RowCount(); ++row)
            modules.append(grid->Cell(0, row));
        return modules;
    }
    // Where the selector must stand over cell (col, row): the grid's place on
    // the page, its frame, then 64-pixel columns and 21-pixel rows under the
    // header.
    QRect ExpectedSelector(int col, int row) const
    {
        const int frame = grid->frameWidth();
        const int y = frame + 21 * (1 + row - grid->TopRow());
        const int height = std::min(21, grid->viewport()->height() + frame - y);
        return {172 + frame + 64 * col, y, 64, height};
    }
};

// The first and last columns of an image, from column `from` up to but not
// including `to`, that hold a near-black pixel (text ink) in rows `top` to
// `bottom`; {-1, -1} when none do.
std::pair<int, int> InkColumns(const QImage &image, int from, int to, int top, int bottom)
{
    int first = -1;
    int last = -1;
    for (int x = from; x < to; ++x) {
        for (int y = top; y <= bottom; ++y) {
            if (qGray(image.pixel(x, y)) < 80) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

// How wide a text's ink is when drawn in full with the font.
int InkWidth(const QString &text, const QFont &font)
{
    QImage image(300, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(10, 0, 280, 40), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.end();
    const auto [first, last] = InkColumns(image, 0, image.width(), 0, image.height() - 1);
    return last - first + 1;
}

QStringList ModuleTexts(int first, int last)
{
    QStringList texts;
    for (int m = first; m <= last; ++m)
        texts.append(QStringLiteral("Module %1").arg(m));
    return texts;
}

} // namespace

class TestConfigPage : public QObject
{
    Q_OBJECT

private slots:
    void startUpShowsCollapsedTreeAndEmptyGrid();
    void expandingAGroupListsItsModules();
    void clickingAModuleTogglesItsRow();
    void clickOnEmptySpaceTogglesTheCurrentNode();
    void moduleChosenBeforeItsGroupClosedTogglesWhenClickedAgain();
    void keyboardExpansionChangesStateAtOnceAndGridFollowsAtNextClick();
    void meteringRefusesTreeChanges();
    void choosingACellPlacesTheSelectorOverIt_data();
    void choosingACellPlacesTheSelectorOverIt();
    void selectorChoiceWritesTableAndCell();
    void buttons_data();
    void buttons();
    void buttonsActOnTheCellChosenBeforeColumnZero();
    void scrollingMovesThenHidesTheSelector();
    void meteringRefusesGridChanges();
    void unknownTypeShowsError();
    void newConfigurationResetsTreeGridAndTable();
    void meteringHintSwitches();
    void tilesAreDrawnWithEvenGaps();
    void buttonCaptionsStayInsideTheButtons_data();
    void buttonCaptionsStayInsideTheButtons();
    void selectorShowsEveryItemWhole();
    void gridReadsAsATableToAssistiveTechnology();
    void escapeInTheSelectorHandsTheFocusBackToTheGrid();
    void tabMovesTheSelectorToTheNextInputCell_data();
    void tabMovesTheSelectorToTheNextInputCell();
};

void TestConfigPage::startUpShowsCollapsedTreeAndEmptyGrid()
{
    PageFixture f;
    const QStringList groups{
        QStringLiteral("RTD Modules 1-16"), QStringLiteral("RTD Modules 17-32"),
        QStringLiteral("RTD Modules 33-48"), QStringLiteral("RTD Modules 49-63")};
    const int children[] = {16, 16, 16, 15};
    QCOMPARE(f.tree->topLevelItemCount(), 4);
    for (int g = 1; g <= 4; ++g) {
        QCOMPARE(f.Group(g)->text(0), groups[g - 1]);
        QCOMPARE(ConfigPage::NodeStateIndex(f.Group(g)), 1);
        QCOMPARE(f.Group(g)->childCount(), children[g - 1]);
        QVERIFY(!f.Group(g)->isExpanded());
        QCOMPARE(f.table.group_state[g], 2);
    }
    QCOMPARE(f.Module(63)->text(0), QStringLiteral("Module 63"));
    QCOMPARE(ConfigPage::NodeNumber(f.Module(63)), 63);
    for (int m = 1; m <= 63; ++m)
        QCOMPARE(ConfigPage::NodeStateIndex(f.Module(m)), 3);
    QCOMPARE(f.page->CurrentNode(), nullptr);
    QCOMPARE(f.tree->indentation(), 15);

    QCOMPARE(f.grid->RowCount(), 1);
    QCOMPARE(f.grid->FixedRows(), 0);
    for (int c = 0; c < 10; ++c)
        QVERIFY(f.grid->Cell(c, 0).isEmpty());
    QVERIFY(!f.page->setting_CB->isVisible());
    // The single row shows eight empty sky-blue tiles after a grey corner.
    const QImage image = f.grid->viewport()->grab().toImage();
    QCOMPARE(image.pixelColor(30, 10), QColor(160, 160, 164));
    for (int c = 1; c <= 8; ++c)
        QCOMPARE(image.pixelColor(64 * c + 30, 10), QColor(166, 202, 240));
    QCOMPARE(image.pixelColor(30, 21 + 10), QColor(160, 160, 164));

    QCOMPARE(f.tree->geometry(), QRect(0, 0, 168, 439));
    QCOMPARE(f.grid->geometry(), QRect(172, 0, 608, 389));
    QCOMPARE(f.page->options_P->geometry(), QRect(172, 393, 608, 42));
    QCOMPARE(f.page->change_all_B->geometry(), QRect(383, 8, 90, 25));
    // The grid and the panel follow the bottom edge.
    f.page->resize(786, 539);
    QCOMPARE(f.grid->geometry(), QRect(172, 0, 608, 489));
    QCOMPARE(f.page->options_P->geometry(), QRect(172, 493, 608, 42));
}

void TestConfigPage::expandingAGroupListsItsModules()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    QVERIFY(f.Group(1)->isExpanded());
    QCOMPARE(f.table.group_state[1], 3);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(1)), 0);
    QCOMPARE(f.page->CurrentNode(), f.Group(1));

    QCOMPARE(f.ListedModules(), ModuleTexts(1, 16));
    QCOMPARE(f.grid->FixedRows(), 1);
    QVERIFY(f.grid->Cell(0, 0).isEmpty());
    for (int k = 1; k <= 8; ++k)
        QCOMPARE(f.grid->Cell(k, 0), QStringLiteral("INPUT %1").arg(k));
    for (int row = 1; row <= 16; ++row) {
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(f.grid->Cell(k, row), kNotUsedText);
        QCOMPARE(f.grid->Cell(9, row), QString::number(row));
    }

    f.ClickButton(f.Group(1));
    QVERIFY(!f.Group(1)->isExpanded());
    QCOMPARE(f.table.group_state[1], 2);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(1)), 1);
    QCOMPARE(f.grid->RowCount(), 1);
    QCOMPARE(f.grid->FixedRows(), 0);
    QVERIFY(f.grid->Cell(1, 0).isEmpty());
}

void TestConfigPage::clickingAModuleTogglesItsRow()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.table.input_type[3][5] = 1; // Pt100

    f.ClickText(f.Module(5));
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(5)), 2);
    QCOMPARE(f.table.module_state[5], 2);
    QStringList without = ModuleTexts(1, 16);
    without.removeAll(QStringLiteral("Module 5"));
    QCOMPARE(f.ListedModules(), without);

    f.ClickText(f.Module(5));
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(5)), 3);
    QCOMPARE(f.table.module_state[5], 3);
    QCOMPARE(f.ListedModules(), ModuleTexts(1, 16));
    QCOMPARE(f.grid->Cell(3, f.RowOf(5)), kPt100Text);

    // A group node is never toggled; the click only rebuilds the grid.
    f.ClickText(f.Group(1));
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(1)), 0);
    QCOMPARE(f.ListedModules(), ModuleTexts(1, 16));
}

void TestConfigPage::clickOnEmptySpaceTogglesTheCurrentNode()
{
    PageFixture f;
    // With no current node a click only rebuilds the grid.
    f.ClickEmptySpace();
    QCOMPARE(f.page->CurrentNode(), nullptr);
    QCOMPARE(f.grid->RowCount(), 1);

    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(3));
    QCOMPARE(f.table.module_state[3], 2);
    f.ClickEmptySpace();
    QCOMPARE(f.page->CurrentNode(), f.Module(3));
    QCOMPARE(f.table.module_state[3], 3);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(3)), 3);
    QCOMPARE(f.ListedModules(), ModuleTexts(1, 16));
}

// The tree once kept the selection on a module hidden by its group's
// collapse; after the group opened again, a click on that module selected
// nothing new and so toggled nothing.
void TestConfigPage::moduleChosenBeforeItsGroupClosedTogglesWhenClickedAgain()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(3));
    QCOMPARE(f.table.module_state[3], 2);

    f.ClickButton(f.Group(1));
    QCOMPARE(f.page->CurrentNode(), f.Group(1));
    QCOMPARE(f.tree->selectedItems(), QList<QTreeWidgetItem *>{f.Group(1)});
    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(3));
    QCOMPARE(f.table.module_state[3], 3);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(3)), 3);
    QCOMPARE(f.ListedModules(), ModuleTexts(1, 16));
}

void TestConfigPage::keyboardExpansionChangesStateAtOnceAndGridFollowsAtNextClick()
{
    PageFixture f;
    f.ClickText(f.Group(2));
    QCOMPARE(f.page->CurrentNode(), f.Group(2));
    QTest::keyClick(f.tree, Qt::Key_Right);
    QVERIFY(f.Group(2)->isExpanded());
    QCOMPARE(f.table.group_state[2], 3);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(2)), 0);
    QCOMPARE(f.grid->RowCount(), 1);

    f.ClickEmptySpace();
    QCOMPARE(f.ListedModules(), ModuleTexts(17, 32));

    QTest::keyClick(f.tree, Qt::Key_Left);
    QCOMPARE(f.table.group_state[2], 2);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(2)), 1);
    QCOMPARE(f.ListedModules(), ModuleTexts(17, 32));
}

void TestConfigPage::meteringRefusesTreeChanges()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(2));
    f.ClickText(f.Module(2)); // back to selected; Module 2 is current
    const QStringList listed = f.ListedModules();
    f.table.metering_on = true;

    f.ClickText(f.Module(4));
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(4)), 3);
    QCOMPARE(f.table.module_state[4], 3);
    QCOMPARE(f.page->CurrentNode(), f.Module(2));
    f.ClickEmptySpace();
    QCOMPARE(f.table.module_state[2], 3);
    QCOMPARE(f.ListedModules(), listed);

    f.ClickButton(f.Group(1));
    QVERIFY(f.Group(1)->isExpanded());
    QCOMPARE(f.table.group_state[1], 3);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(1)), 0);

    f.ClickButton(f.Group(2));
    QVERIFY(!f.Group(2)->isExpanded());
    QCOMPARE(f.table.group_state[2], 2);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(2)), 1);
    f.tree->setCurrentItem(f.Group(3));
    QTest::keyClick(f.tree, Qt::Key_Right);
    QVERIFY(!f.Group(3)->isExpanded());
    QCOMPARE(f.table.group_state[3], 2);

    f.table.metering_on = false;
    f.ClickButton(f.Group(2));
    QVERIFY(f.Group(2)->isExpanded());
    QCOMPARE(f.table.group_state[2], 3);
}

void TestConfigPage::choosingACellPlacesTheSelectorOverIt_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("topRow");
    QTest::addColumn<bool>("shown");

    QTest::newRow("input 1 of the first row") << 1 << 1 << 1 << true;
    QTest::newRow("input 8 further down") << 8 << 12 << 1 << true;
    QTest::newRow("after scrolling") << 4 << 20 << 10 << true;
    QTest::newRow("module column") << 0 << 3 << 1 << false;
}

void TestConfigPage::choosingACellPlacesTheSelectorOverIt()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(int, topRow);
    QFETCH(bool, shown);
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickButton(f.Group(2));
    f.table.input_type[4][20] = 5;
    f.grid->SetTopRow(topRow);

    f.ChooseCell(col, row);
    QComboBox *selector = f.page->setting_CB;
    QCOMPARE(selector->isVisible(), shown);
    if (!shown) {
        QCOMPARE(f.page->SelectedRow(), 0);
        return;
    }
    QCOMPARE(f.page->SelectedCol(), col);
    QCOMPARE(f.page->SelectedRow(), row);
    QCOMPARE(selector->parentWidget(), f.page.get());
    QCOMPARE(selector->geometry(), f.ExpectedSelector(col, row));
    QCOMPARE(selector->currentIndex(), f.table.input_type[col][row]);
    QCOMPARE(f.page->focusWidget(), selector);
}

void TestConfigPage::selectorChoiceWritesTableAndCell()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ChooseCell(3, f.RowOf(5));
    QTest::keyClick(f.page->setting_CB, Qt::Key_Down);
    QCOMPARE(f.table.input_type[3][5], 1);
    QCOMPARE(f.grid->Cell(3, f.RowOf(5)), kPt100Text);
    QVERIFY(f.page->setting_CB->isVisible());

    f.page->setting_CB->setCurrentIndex(5);
    f.page->setting_CBChange();
    QCOMPARE(f.table.input_type[3][5], 5);
    QCOMPARE(f.grid->Cell(3, f.RowOf(5)), QStringLiteral("4-20 mA"));
    QCOMPARE(f.table.input_type[3][6], 0);
    QCOMPARE(f.table.input_type[4][5], 0);

    // A rebuilt grid remembers no cell: a late change of the selector has no
    // row to find its module in and writes nothing.
    const auto before = f.table.input_type;
    f.page->RefreshConfigGrid();
    f.page->setting_CB->setCurrentIndex(2);
    f.page->setting_CBChange();
    QVERIFY(f.table.input_type == before);
}

void TestConfigPage::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("needsCell");
    // Expected input types after the press for modules 5 and 7 (listed),
    // 4 (deselected) and 40 (collapsed group), inputs 1..8.
    QTest::addColumn<QList<int>>("module5");
    QTest::addColumn<QList<int>>("module7");

    // Before: module 5 input 3 Pt100, input 6 Cu10; module 7 input 1 Ni100;
    // modules 4 and 40 all 4-20 mA. The chosen cell is input 3 of module 5.
    QTest::newRow("Change Row") << QStringLiteral("change_row_B") << true
                                << QList<int>{1, 1, 1, 1, 1, 1, 1, 1}
                                << QList<int>{2, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("Change Column")
        << QStringLiteral("change_col_B") << true << QList<int>{0, 0, 1, 0, 0, 4, 0, 0}
        << QList<int>{2, 0, 1, 0, 0, 0, 0, 0};
    QTest::newRow("Change All") << QStringLiteral("change_all_B") << true
                                << QList<int>{1, 1, 1, 1, 1, 1, 1, 1}
                                << QList<int>{1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("Clear All") << QStringLiteral("clear_all_B") << false
                               << QList<int>{0, 0, 0, 0, 0, 0, 0, 0}
                               << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
}

void TestConfigPage::buttons()
{
    QFETCH(QString, button);
    QFETCH(bool, needsCell);
    QFETCH(QList<int>, module5);
    QFETCH(QList<int>, module7);
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(4)); // deselected
    f.ClickButton(f.Group(3));
    f.ClickButton(f.Group(3)); // collapsed again
    f.table.input_type[6][5] = 4;
    f.table.input_type[1][7] = 2;
    for (int k = 1; k <= 8; ++k) {
        f.table.input_type[k][4] = 5;
        f.table.input_type[k][40] = 5;
    }
    f.page->RefreshConfigGrid();
    QPushButton *pressed = f.page->findChild<QPushButton *>(button);
    QVERIFY(pressed);

    // Without a chosen cell only Clear All acts.
    const auto before = f.table.input_type;
    QTest::mouseClick(pressed, Qt::LeftButton);
    if (needsCell)
        QVERIFY(f.table.input_type == before);
    f.table.input_type = before;
    f.page->RefreshConfigGrid();

    f.ChooseCell(3, f.RowOf(5));
    QTest::keyClick(f.page->setting_CB, Qt::Key_Down); // Not Used -> Pt100
    QTest::mouseClick(pressed, Qt::LeftButton);

    const QMap<int, QString> texts{{0, kNotUsedText}, {1, kPt100Text}, {4, QStringLiteral("Cu10")}};
    for (int k = 1; k <= 8; ++k) {
        QCOMPARE(f.table.input_type[k][5], module5[k - 1]);
        QCOMPARE(f.table.input_type[k][7], module7[k - 1]);
        QCOMPARE(f.table.input_type[k][4], 5);
        QCOMPARE(f.table.input_type[k][40], 5);
        QCOMPARE(f.grid->Cell(k, f.RowOf(5)), texts.value(module5[k - 1]));
    }
    QCOMPARE(f.page->SelectedRow(), 0);
    QCOMPARE(f.page->SelectedCol(), 0);
    QVERIFY(!f.page->setting_CB->isVisible());

    // A second press without choosing a cell again: only Clear All acts.
    f.table.input_type[2][7] = 3;
    QTest::mouseClick(pressed, Qt::LeftButton);
    QCOMPARE(f.table.input_type[2][7], needsCell ? 3 : 0);
}

void TestConfigPage::buttonsActOnTheCellChosenBeforeColumnZero()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ChooseCell(3, f.RowOf(5));
    QTest::keyClick(f.page->setting_CB, Qt::Key_Down);
    f.ChooseCell(0, f.RowOf(9));
    QVERIFY(!f.page->setting_CB->isVisible());
    QCOMPARE(f.page->SelectedRow(), f.RowOf(5));
    QCOMPARE(f.page->SelectedCol(), 3);

    f.page->change_col_BClick();
    for (int m = 1; m <= 16; ++m) {
        QCOMPARE(f.table.input_type[3][m], 1);
        QCOMPARE(f.table.input_type[2][m], 0);
        QCOMPARE(f.grid->Cell(3, f.RowOf(m)), kPt100Text);
    }
    QCOMPARE(f.table.input_type[3][17], 0);
}

void TestConfigPage::scrollingMovesThenHidesTheSelector()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickButton(f.Group(2));
    QScrollBar *bar = f.grid->verticalScrollBar();
    const int visible = f.grid->VisibleRowCount();
    QVERIFY(visible < 32);

    f.ChooseCell(2, 3);
    bar->setValue(bar->value() + 1);
    QCOMPARE(f.grid->TopRow(), 2);
    QVERIFY(f.page->setting_CB->isVisible());
    QCOMPARE(f.page->setting_CB->geometry(), f.ExpectedSelector(2, 3));

    bar->setValue(bar->value() + 1); // row 3 is the top row
    QVERIFY(f.page->setting_CB->isVisible());
    bar->setValue(bar->value() + 1); // row 3 has left the view
    QVERIFY(!f.page->setting_CB->isVisible());
    bar->setValue(0);
    QCOMPARE(f.grid->TopRow(), 1);
    QVERIFY(!f.page->setting_CB->isVisible());
    QCOMPARE(f.page->SelectedRow(), 3);

    // The partly shown row under the last full one still counts as in view,
    // the row after it does not.
    const int partial = 1 + visible;
    f.ChooseCell(5, partial); // chosen, and scrolled fully into view
    QCOMPARE(f.grid->TopRow(), 2);
    QVERIFY(f.page->setting_CB->isVisible());
    QCOMPARE(f.page->setting_CB->geometry(), f.ExpectedSelector(5, partial));
    bar->setValue(0);
    QCOMPARE(f.grid->TopRow(), 1);
    QVERIFY(f.page->setting_CB->isVisible());
    QCOMPARE(f.page->setting_CB->geometry(), f.ExpectedSelector(5, partial));

    f.grid->SetTopRow(3);
    f.ChooseCell(6, partial + 1);
    QVERIFY(f.page->setting_CB->isVisible());
    bar->setValue(0);
    QVERIFY(!f.page->setting_CB->isVisible());
}

void TestConfigPage::meteringRefusesGridChanges()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ChooseCell(2, f.RowOf(6));
    f.table.metering_on = true;

    f.page->setting_CB->setCurrentIndex(3);
    f.page->setting_CBChange();
    QCOMPARE(f.table.input_type[2][6], 0);
    QCOMPARE(f.grid->Cell(2, f.RowOf(6)), kNotUsedText);

    f.page->setting_CB->hide();
    f.ChooseCell(4, f.RowOf(8));
    QVERIFY(!f.page->setting_CB->isVisible());
    QCOMPARE(f.page->SelectedRow(), f.RowOf(6));
    QCOMPARE(f.page->SelectedCol(), 2);

    f.table.input_type[2][6] = 4;
    const auto before = f.table.input_type;
    f.page->change_row_BClick();
    f.page->change_col_BClick();
    f.page->change_all_BClick();
    f.page->clear_all_BClick();
    QVERIFY(f.table.input_type == before);
}

void TestConfigPage::unknownTypeShowsError()
{
    PageFixture f;
    f.ClickButton(f.Group(4));
    f.table.input_type[8][63] = 9;
    f.page->RefreshConfigGrid();
    QCOMPARE(f.grid->Cell(8, f.RowOf(63)), QStringLiteral("Error"));
}

void TestConfigPage::newConfigurationResetsTreeGridAndTable()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickText(f.Module(2));
    f.table.input_type[1][1] = 3;
    f.page->NewConfiguration1Click();

    QCOMPARE(f.page->CurrentNode(), nullptr);
    QCOMPARE(f.grid->RowCount(), 1);
    QCOMPARE(f.grid->FixedRows(), 0);
    QCOMPARE(f.table.input_type[1][1], 0);
    QCOMPARE(f.table.module_state[2], 3);
    QCOMPARE(f.table.group_state[1], 2);
    QVERIFY(!f.Group(1)->isExpanded());
    QCOMPARE(ConfigPage::NodeStateIndex(f.Group(1)), 1);
    QCOMPARE(ConfigPage::NodeStateIndex(f.Module(2)), 3);
}

void TestConfigPage::meteringHintSwitches()
{
    PageFixture f;
    const QString hint = QStringLiteral("Configuration cannot be changed while metering");
    QCOMPARE(f.grid->toolTip(), hint);
    f.page->SetMeteringHint(false);
    QVERIFY(f.grid->toolTip().isEmpty());
    f.page->SetMeteringHint(true);
    QCOMPARE(f.grid->toolTip(), hint);
}

void TestConfigPage::tilesAreDrawnWithEvenGaps()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ClickButton(f.Group(3));
    f.table.input_type[2][3] = 1;
    f.page->RefreshConfigGrid();
    f.ChooseCell(2, f.RowOf(3));

    const QImage page = f.page->grab().toImage();
    if (const QByteArray path = qgetenv("KELVORA_SCREENSHOT"); !path.isEmpty())
        QVERIFY(page.save(QString::fromLocal8Bit(path)));

    const QImage image = f.grid->viewport()->grab().toImage();
    const QColor grey(160, 160, 164);
    const QColor skyBlue(166, 202, 240);
    const QColor white(255, 255, 255);
    // Cell (c, r) spans x 64c..64c+63 and y 21r..21r+20; its tile leaves
    // x 64c, 64c+62, 64c+63 and y 21r, 21r+19, 21r+20 to the background.
    auto tileAt = [&image](int c, int r, int dx, int dy) {
        return image.pixelColor(64 * c + dx, 21 * r + dy);
    };
    QCOMPARE(tileAt(0, 0, 30, 10), grey);    // corner cell: background only
    QCOMPARE(tileAt(1, 0, 60, 18), skyBlue); // header tile
    QCOMPARE(tileAt(0, 1, 60, 18), skyBlue); // module tile
    QCOMPARE(tileAt(4, 1, 60, 18), white);   // input tile
    QCOMPARE(tileAt(4, 1, 1, 1), white);
    for (const int gap : {0, 62, 63})
        QCOMPARE(tileAt(4, 1, gap, 10), grey);
    for (const int gap : {0, 19, 20})
        QCOMPARE(tileAt(4, 1, 30, gap), grey);
    // Beyond the ninth column only the background shows.
    QCOMPARE(image.pixelColor(64 * 9 + 5, 30), grey);
}

void TestConfigPage::buttonCaptionsStayInsideTheButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Change Row") << QStringLiteral("change_row_B");
    QTest::newRow("Change Column") << QStringLiteral("change_col_B");
    QTest::newRow("Change All") << QStringLiteral("change_all_B");
    QTest::newRow("Clear All") << QStringLiteral("clear_all_B");
}

// With a wide system font "Change Column" once ran from edge to edge of its
// 90-pixel button. The ink must keep clear of the button's bevel.
void TestConfigPage::buttonCaptionsStayInsideTheButtons()
{
    QFETCH(QString, button);
    PageFixture f;
    auto *pressed = f.page->findChild<QPushButton *>(button);
    QVERIFY(pressed);
    QCOMPARE(pressed->size(), QSize(90, 25));
    const QImage image = pressed->grab().toImage();
    // Inside the outline and the bevel only the caption is near black.
    const auto [first, last] = InkColumns(image, 2, image.width() - 2, 3, image.height() - 4);
    QVERIFY(first >= 0);
    QVERIFY2(first >= 4 && last <= image.width() - 5,
             qPrintable(QStringLiteral("ink from %1 to %2").arg(first).arg(last)));
}

// The selector once cut "Not Used" short: its 9-pixel text was wider than
// the field a 64-pixel drop-down list leaves beside its arrow.
void TestConfigPage::selectorShowsEveryItemWhole()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.ChooseCell(4, 2);
    QComboBox *selector = f.page->setting_CB;
    QVERIFY(selector->isVisible());
    QCOMPARE(selector->size(), QSize(64, 21));

    QStyleOptionComboBox option;
    option.initFrom(selector);
    option.editable = false;
    const int arrowLeft =
        selector->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, selector)
            .left();
    for (int i = 0; i < selector->count(); ++i) {
        selector->setCurrentIndex(i);
        const QString text = selector->itemText(i);
        const QImage image = selector->grab().toImage();
        const auto [first, last] = InkColumns(image, 2, arrowLeft, 3, image.height() - 4);
        QVERIFY2(first >= 0, qPrintable(text));
        QVERIFY2(qAbs(last - first + 1 - InkWidth(text, selector->font())) <= 1,
                 qPrintable(QStringLiteral("%1: ink from %2 to %3, arrow at %4")
                                .arg(text)
                                .arg(first)
                                .arg(last)
                                .arg(arrowLeft)));
    }
}

// A screen reader, or a test from outside the program, reads the module rows
// and their types; the hidden address column is not among them.
void TestConfigPage::gridReadsAsATableToAssistiveTechnology()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.table.input_type[2][3] = 1;
    f.page->RefreshConfigGrid();

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(f.grid);
    QVERIFY(iface);
    QAccessibleTableInterface *table = iface->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 16);
    QCOMPARE(table->columnCount(), 9);
    QCOMPARE(table->columnDescription(2), QStringLiteral("INPUT 2"));
    QCOMPARE(table->cellAt(2, 0)->text(QAccessible::Name), QStringLiteral("Module 3"));
    QCOMPARE(table->cellAt(2, 2)->text(QAccessible::Name), kPt100Text);
    QCOMPARE(table->cellAt(2, 3)->text(QAccessible::Name), kNotUsedText);
}

// Reached with the arrows, an input cell opens the selector, which then
// takes the arrows for the type. Escape closes it and gives the grid the
// focus back on the same cell, so the arrows move on; Enter opens it again.
void TestConfigPage::escapeInTheSelectorHandsTheFocusBackToTheGrid()
{
    PageFixture f;
    f.ClickButton(f.Group(1));
    f.table.input_type[2][1] = 3;
    f.page->RefreshConfigGrid();
    QComboBox *selector = f.page->setting_CB;
    f.grid->setFocus();
    QVERIFY(f.grid->SetCurrentCell(0, 1)); // module 1's name
    QTest::keyClick(f.grid, Qt::Key_Right);
    QVERIFY(selector->isVisible());
    QCOMPARE(f.page->focusWidget(), selector);
    QCOMPARE(selector->accessibleName(), QStringLiteral("Module 1, INPUT 1"));

    QTest::keyClick(selector, Qt::Key_Escape);
    QVERIFY(selector->isHidden());
    QCOMPARE(f.page->focusWidget(), f.grid);
    QCOMPARE(f.grid->Col(), 1);
    QCOMPARE(f.grid->Row(), 1);
    QCOMPARE(f.table.input_type[1][1], 0);

    QTest::keyClick(f.grid, Qt::Key_Right);
    QVERIFY(selector->isVisible());
    QCOMPARE(f.page->SelectedCol(), 2);
    QCOMPARE(selector->currentIndex(), 3);
    QTest::keyClick(selector, Qt::Key_Escape);
    QTest::keyClick(f.grid, Qt::Key_Return);
    QVERIFY(selector->isVisible());
    QCOMPARE(f.page->focusWidget(), selector);
    QCOMPARE(f.page->SelectedCol(), 2);
    QCOMPARE(f.page->SelectedRow(), 1);
}

// Tab and Shift+Tab in the selector move it to the next or previous input
// cell, on to the next or previous row, and change no type; past the last
// input cell or before the first the focus leaves the grid as Tab does.
void TestConfigPage::tabMovesTheSelectorToTheNextInputCell_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("back");
    QTest::addColumn<int>("toCol"); // 0: the focus left the grid
    QTest::addColumn<int>("toRow");
    QTest::addColumn<QString>("focus");
    QTest::newRow("Tab") << 1 << 1 << false << 2 << 1 << "setting_CB";
    QTest::newRow("Tab at INPUT 8: the next row") << 8 << 1 << false << 1 << 2 << "setting_CB";
    QTest::newRow("Shift+Tab") << 5 << 3 << true << 4 << 3 << "setting_CB";
    QTest::newRow("Shift+Tab at INPUT 1: the row before")
        << 1 << 3 << true << 8 << 2 << "setting_CB";
    QTest::newRow("Tab at the last cell: on to the buttons")
        << 8 << 16 << false << 0 << 0 << "change_row_B";
    QTest::newRow("Shift+Tab at the first cell: back to the tree")
        << 1 << 1 << true << 0 << 0 << "Config_Tree";
}

void TestConfigPage::tabMovesTheSelectorToTheNextInputCell()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, back);
    QFETCH(int, toCol);
    QFETCH(int, toRow);
    QFETCH(QString, focus);
    PageFixture f;
    f.ClickButton(f.Group(1));
    QCOMPARE(f.grid->RowCount(), 17);
    for (int m = 1; m <= 16; ++m) {
        for (int k = 1; k <= 8; ++k)
            f.table.input_type[k][m] = (k + m) % 6;
    }
    f.page->RefreshConfigGrid();
    const auto types = f.table.input_type;
    QComboBox *selector = f.page->setting_CB;
    QVERIFY(f.grid->SetCurrentCell(col, row));
    QCOMPARE(f.page->focusWidget(), selector);

    if (back)
        QTest::keyClick(selector, Qt::Key_Backtab, Qt::ShiftModifier);
    else
        QTest::keyClick(selector, Qt::Key_Tab);

    QVERIFY(f.table.input_type == types);
    QCOMPARE(f.page->focusWidget()->objectName(), focus);
    if (toCol == 0) {
        QVERIFY(selector->isHidden());
        return;
    }
    QVERIFY(selector->isVisible());
    QCOMPARE(f.grid->Col(), toCol);
    QCOMPARE(f.grid->Row(), toRow);
    QCOMPARE(f.page->SelectedCol(), toCol);
    QCOMPARE(f.page->SelectedRow(), toRow);
    QCOMPARE(selector->currentIndex(), types[toCol][toRow]); // module toRow is row toRow
    QCOMPARE(f.grid->Cell(col, row), InputTypeText(types[col][row]));
}

QTEST_MAIN(TestConfigPage)
#include "tst_configpage.moc"
