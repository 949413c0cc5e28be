#include "config/configtree.h"
#include "debug/tvrx_rtd_f.h"
#include "debug/vrxprotocol.h"
#include "support/fakeline.h"
#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

// The debug page on its own, polling relay modules through the program's
// VRXProtocol on a recording fake line: what goes on the line, what the grids
// and lamps show, and what the user can and cannot change. The polling grid
// is read as assistive technology reads it.
namespace {

const QString kNotUsedText = QStringLiteral("-----");
const QStringList kDashes(8, QStringLiteral("----"));

// Texts written out, separated by blanks.
QStringList Words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Relay modules behind the fake line: each answers its poll with the reading
// bytes given for it (echo, count 8, marker 0x81, eight readings, one spare
// byte); a module without an answer stays silent.
struct FakeRelays
{
    FakeLine line;
    QMap<int, QByteArray> readings; // by module 1..3

    FakeRelays()
    {
        line.responder = [this](const FakeLine::Chunk &) {
            // The address byte went out with mark parity just before.
            const QByteArray address = line.chunks.at(line.chunks.size() - 2).bytes;
            const int module = address.isEmpty() ? 0 : uint8_t(address[0]) - 12;
            if (!readings.contains(module))
                return QByteArray();
            return address + Hex("08 81") + readings[module] + QByteArray(1, '\0');
        };
    }

    VrxPollFunction Poll()
    {
        return [this](int module, const VrxTypes &types, VrxResult &result) {
            return VRXProtocol(&line, line.Waiter()).PollModule(module, types, result);
        };
    }

    // The modules polled so far, from the address bytes on the line.
    QList<int> Polled() const
    {
        QList<int> modules;
        for (const FakeLine::Chunk &chunk : line.chunks) {
            if (chunk.parity == ParityBits::Mark)
                modules.append(uint8_t(chunk.bytes[0]) - 12);
        }
        return modules;
    }
};

// A shown page on its own fake line.
struct PageFixture
{
    FakeRelays relays;
    std::unique_ptr<TVRX_RTD_F> page = std::make_unique<TVRX_RTD_F>(relays.Poll());
    ConfigTree *tree = page->VRX_TreeView;
    StringGrid *grid = page->VRX_Grid;
    StringGrid *readGrid = page->VRX_Read_Grid;

    PageFixture()
    {
        page->Set_Unit_Name(QStringLiteral("Celsius"));
        page->show();
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
    }

    QTreeWidgetItem *Node(int m) const { return tree->topLevelItem(m - 1); }
    void Click(int m) const
    {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(Node(m)).center());
    }
    void ChooseCell(int col, int row) const
    {
        const QRect cell = grid->CellRect(col, row);
        QVERIFY(!cell.isEmpty());
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid, cell.center()));
    }
    // Module m selected with the given input types, as the user does it.
    void Configure(int m, const VrxTypes &types) const
    {
        if (TVRX_RTD_F::NodeStateIndex(Node(m)) != 3)
            Click(m);
        for (int k = 1; k <= 8; ++k)
            page->Poller().vrx_input_type[size_t(k)][size_t(m)] = types[size_t(k - 1)];
        page->Refresh_VRX_Grid();
    }
    QStringList Listed() const
    {
        QStringList modules;
        for (int row = 1; row < grid->RowCount(); ++row)
            modules.append(grid->Cell(0, row));
        return modules;
    }
    // Row r (1..) of the polling grid as assistive technology reads it:
    // "Module %i" and the eight readings.
    QStringList ReadRow(int row) const
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(readGrid);
        QAccessibleTableInterface *table = iface ? iface->tableInterface() : nullptr;
        if (!table || row - 1 >= table->rowCount())
            return {};
        QStringList texts;
        for (int c = 0; c < table->columnCount(); ++c)
            texts.append(table->cellAt(row - 1, c)->text(QAccessible::Name));
        return texts;
    }
    QStringList Readings(int row) const { return ReadRow(row).mid(1); }
};

// Whether a cell's text is drawn in blue (0, 0, 255): every pixel of its
// tile that is not the silver fill is bluish ink, and there is some.
bool BlueInk(StringGrid *grid, int col, int row)
{
    const QImage image = grid->viewport()->grab().toImage();
    const QRect tile =
        grid->CellRect(col, row).translated(-grid->viewport()->pos()).adjusted(1, 1, -2, -2);
    const auto near = [](int value, int target) { return qAbs(value - target) < 40; };
    bool blue = false;
    bool other = false;
    for (int y = tile.top(); y <= tile.bottom(); ++y) {
        for (int x = tile.left(); x <= tile.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (near(c.red(), 192) && near(c.green(), 192) && near(c.blue(), 192))
                continue;
            // Blue text blended into silver keeps blue well above red and
            // green; black text blended into it keeps the three equal.
            if (c.blue() > std::max(c.red(), c.green()) + 20)
                blue = true;
            else
                other = true;
        }
    }
    return blue && !other;
}

} // namespace

class TestVrxDebugPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void startUpShowsThreeCrossedModulesAndEmptyGrids();
    void clickingModulesListsThemInOrder();
    void choosingACellPlacesTheSelectorAndStoresTheType();
    void copyButtonsRebuildTheGrid();
    void keyboardMovesThroughInputCells();
    void escapeInTheSelectorReturnsToTheGrid();
    void enableWithNothingToPollChangesNothingElse();
    void pollsSendTheDescribedFrames();
    void readingsShowAsTextsInTheirRows();
    void rowsArePolledInTurnAndThePolledRowIsBlue();
    void failedPollShowsBlueDashesWithoutRx();
    void lampsFlashUntilTheirTimersFire();
    void everyConfigurationChangeIsRefusedWhilePolling();
    void disableKeepsReadingsAndEnableRebuilds();
};

void TestVrxDebugPage::startUpShowsThreeCrossedModulesAndEmptyGrids()
{
    PageFixture f;
    QCOMPARE(f.tree->topLevelItemCount(), 3);
    for (int m = 1; m <= 3; ++m) {
        QCOMPARE(f.Node(m)->text(0), QStringLiteral("Module %1").arg(m));
        QCOMPARE(TVRX_RTD_F::NodeNumber(f.Node(m)), m);
        QCOMPARE(TVRX_RTD_F::NodeStateIndex(f.Node(m)), 2);
        QCOMPARE(f.Node(m)->childCount(), 0);
    }
    QCOMPARE(f.tree->indentation(), 15);
    for (StringGrid *grid : {f.grid, f.readGrid}) {
        QCOMPARE(grid->RowCount(), 1);
        QCOMPARE(grid->FixedRows(), 0);
        QCOMPARE(grid->ColCount(), 10);
        QCOMPARE(grid->ColWidth(8), 64);
        QCOMPARE(grid->ColWidth(9), 0);
        QCOMPARE(grid->toolTip(), QStringLiteral("Configuration cannot be changed while metering"));
    }
    QVERIFY(!f.page->vrx_setting_CB->isVisible());
    QVERIFY(f.page->enable_Btn->isEnabled());
    QVERIFY(f.page->disable_Btn->isEnabled());
    QVERIFY(!f.page->TxLit());
    QVERIFY(!f.page->RxLit());
    QVERIFY(!f.page->Tx_Timer->isActive());

    QCOMPARE(f.tree->geometry(), QRect(0, 0, 168, 419));
    QCOMPARE(f.page->config_P->geometry(), QRect(174, 3, 607, 202));
    QCOMPARE(f.page->meter_P->geometry(), QRect(174, 211, 607, 202));
    QCOMPARE(f.grid->geometry(), QRect(4, 40, 598, 110));
    QCOMPARE(f.readGrid->geometry(), QRect(4, 40, 598, 110));
    QCOMPARE(f.page->vrx_clear_all_B->geometry(), QRect(500, 168, 90, 25));
    QCOMPARE(f.page->disable_Btn->geometry(), QRect(396, 170, 90, 24));
    QCOMPARE(f.page->Rx_Led->geometry(), QRect(60, 170, 25, 24));
    // The single row: the grid's grey at the corner and below, eight empty
    // sky-blue tiles.
    const QImage image = f.grid->viewport()->grab().toImage();
    QCOMPARE(image.pixelColor(30, 10), QColor(128, 128, 128));
    for (int c = 1; c <= 8; ++c)
        QCOMPARE(image.pixelColor(64 * c + 30, 10), QColor(166, 202, 240));
    QCOMPARE(image.pixelColor(30, 21 + 10), QColor(128, 128, 128));
}

void TestVrxDebugPage::clickingModulesListsThemInOrder()
{
    PageFixture f;
    f.page->Poller().vrx_input_type[2][1] = 1; // module 1, input 2: Pt100
    f.Click(3);
    f.Click(1);
    QCOMPARE(TVRX_RTD_F::NodeStateIndex(f.Node(3)), 3);
    QCOMPARE(f.page->Poller().vrx_module_state[3], 3);
    QCOMPARE(f.Listed(), (QStringList{QStringLiteral("Module 1"), QStringLiteral("Module 3")}));
    QCOMPARE(f.grid->FixedRows(), 1);
    for (int k = 1; k <= 8; ++k)
        QCOMPARE(f.grid->Cell(k, 0), QStringLiteral("INPUT %1").arg(k));
    QCOMPARE(f.grid->Cell(2, 1), QStringLiteral("Pt100"));
    QCOMPARE(f.grid->Cell(3, 1), kNotUsedText);
    QCOMPARE(f.grid->Cell(9, 1), QStringLiteral("1"));
    QCOMPARE(f.grid->Cell(9, 2), QStringLiteral("3"));

    // Clicking again crosses it out; the last one gone leaves one empty row.
    f.Click(1);
    QCOMPARE(f.page->Poller().vrx_module_state[1], 2);
    QCOMPARE(f.Listed(), QStringList{QStringLiteral("Module 3")});
    f.Click(3);
    QCOMPARE(f.grid->RowCount(), 1);
    QCOMPARE(f.grid->FixedRows(), 0);
    QVERIFY(f.grid->Cell(1, 0).isEmpty());
}

void TestVrxDebugPage::choosingACellPlacesTheSelectorAndStoresTheType()
{
    PageFixture f;
    f.Configure(2, {});
    f.Configure(3, {});
    f.ChooseCell(4, 2);
    QComboBox *selector = f.page->vrx_setting_CB;
    QVERIFY(selector->isVisible());
    QVERIFY(selector->hasFocus());
    QCOMPARE(selector->parentWidget(), f.page->config_P);
    // Over the cell, in config_P's coordinates: the grid at 4, 40, its frame,
    // 64-pixel columns and 21-pixel rows under the header.
    const int frame = f.grid->frameWidth();
    QCOMPARE(selector->geometry(), QRect(4 + frame + 64 * 4, 40 + frame + 21 * 2, 64, 21));
    QCOMPARE(selector->count(), 6);
    QCOMPARE(selector->itemText(5), QStringLiteral("4-20 mA"));

    selector->setCurrentIndex(5);
    emit selector->activated(5);
    QCOMPARE(f.page->Poller().vrx_input_type[4][3], 5);
    QCOMPARE(f.grid->Cell(4, 2), QStringLiteral("4-20 mA"));
    QCOMPARE(f.page->Poller().vrx_input_type[4][2], 0);

    // Column 0 only closes the selector; the chosen cell stays.
    f.ChooseCell(0, 1);
    QVERIFY(!selector->isVisible());
    QCOMPARE(f.page->SelectedRow(), 2);
    QCOMPARE(f.page->SelectedCol(), 4);
}

void TestVrxDebugPage::copyButtonsRebuildTheGrid()
{
    PageFixture f;
    f.Configure(1, {1, 2, 3, 4, 5, 0, 1, 2});
    f.Configure(2, {4, 4, 4, 4, 4, 4, 4, 4});
    f.Click(2); // deselected: not listed, never touched
    f.Configure(3, {});

    // Without a chosen cell the copies do nothing.
    f.page->vrx_change_all_B->click();
    QCOMPARE(f.grid->Cell(1, 2), kNotUsedText);

    f.ChooseCell(3, 1); // module 1, input 3: Ni120
    f.page->vrx_change_col_B->click();
    QCOMPARE(f.grid->Cell(3, 2), QStringLiteral("Ni120"));
    QCOMPARE(f.page->SelectedRow(), 0);
    QVERIFY(!f.page->vrx_setting_CB->isVisible());
    QCOMPARE(f.page->Poller().Types(2), (VrxTypes{4, 4, 4, 4, 4, 4, 4, 4}));

    f.page->vrx_clear_all_B->click();
    QCOMPARE(f.page->Poller().Types(1), VrxTypes{});
    QCOMPARE(f.page->Poller().Types(3), VrxTypes{});
    QCOMPARE(f.page->Poller().Types(2), (VrxTypes{4, 4, 4, 4, 4, 4, 4, 4}));
}

void TestVrxDebugPage::keyboardMovesThroughInputCells()
{
    PageFixture f;
    f.Configure(1, {});
    f.Configure(3, {});
    f.ChooseCell(7, 1);
    QComboBox *selector = f.page->vrx_setting_CB;

    // Tab from the selector: the next input cell, with the selector on it.
    QTest::keyClick(selector, Qt::Key_Tab);
    QCOMPARE(f.page->SelectedCol(), 8);
    QVERIFY(selector->hasFocus());
    QCOMPARE(selector->geometry().topLeft(),
             f.grid->mapTo(f.page->config_P, f.grid->CellRect(8, 1).topLeft()));
    // Past the end of a row to the first input of the next.
    QTest::keyClick(selector, Qt::Key_Tab);
    QCOMPARE(f.page->SelectedRow(), 2);
    QCOMPARE(f.page->SelectedCol(), 1);
    // The keyboard chooses a type there as the mouse does.
    QTest::keyClick(selector, Qt::Key_Down);
    QCOMPARE(f.page->Poller().vrx_input_type[1][3], 1);
    QCOMPARE(f.grid->Cell(1, 2), QStringLiteral("Pt100"));
    // Shift+Tab back over the row boundary.
    QTest::keyClick(selector, Qt::Key_Backtab);
    QCOMPARE(f.page->SelectedRow(), 1);
    QCOMPARE(f.page->SelectedCol(), 8);

    // Tab from the last input cell leaves the grid for the buttons; the cell
    // stays chosen for them.
    f.ChooseCell(8, 2);
    QTest::keyClick(selector, Qt::Key_Tab);
    QVERIFY(!selector->isVisible());
    QCOMPARE(QApplication::focusWidget(), f.page->vrx_change_col_B);
    QCOMPARE(f.page->SelectedCol(), 8);
    // Shift+Tab from the first input cell goes back to the tree.
    f.ChooseCell(1, 1);
    QTest::keyClick(selector, Qt::Key_Backtab);
    QVERIFY(!selector->isVisible());
    QCOMPARE(QApplication::focusWidget(), f.tree);
}

void TestVrxDebugPage::escapeInTheSelectorReturnsToTheGrid()
{
    PageFixture f;
    f.Configure(2, {});
    f.ChooseCell(5, 1);
    QComboBox *selector = f.page->vrx_setting_CB;
    QVERIFY(selector->hasFocus());
    QTest::keyClick(selector, Qt::Key_Escape);
    QVERIFY(!selector->isVisible());
    QVERIFY(f.grid->hasFocus());
    QCOMPARE(f.grid->Col(), 5);
    QCOMPARE(f.page->SelectedCol(), 5);

    // The grid's own keys move its cell; Tab there chooses the next input
    // cell and Enter opens the selector on the current one.
    QTest::keyClick(f.grid, Qt::Key_Tab);
    QVERIFY(selector->isVisible());
    QCOMPARE(f.page->SelectedCol(), 6);
    QTest::keyClick(selector, Qt::Key_Escape);
    QTest::keyClick(f.grid, Qt::Key_Left);
    QCOMPARE(f.grid->Col(), 5);
    QVERIFY(selector->isVisible()); // moving the cell chooses it
    QTest::keyClick(selector, Qt::Key_Escape);
    QVERIFY(!selector->isVisible());
    QTest::keyClick(f.grid, Qt::Key_Return);
    QVERIFY(selector->isVisible());
    QVERIFY(selector->hasFocus());
    QCOMPARE(f.page->SelectedCol(), 5);
}

void TestVrxDebugPage::enableWithNothingToPollChangesNothingElse()
{
    PageFixture f;
    // An earlier run left rows in the polling grid.
    f.relays.readings[1] = QByteArray(8, char(75));
    f.Configure(1, {1, 0, 0, 0, 0, 0, 0, 0});
    QVERIFY(f.page->enable_BtnClick());
    f.page->Poll_Next_Module();
    f.page->disable_BtnClick();
    f.page->Tx_TimerTimer();
    f.page->Rx_TimerTimer();
    f.page->disable_Btn->setEnabled(true);
    f.relays.line.chunks.clear();

    f.Configure(1, {}); // selected, nothing in use
    f.Configure(2, {1, 1, 1, 1, 1, 1, 1, 1});
    f.Click(2); // configured, not selected
    QVERIFY(!f.page->enable_BtnClick());
    QVERIFY(!f.page->Polling());
    QCOMPARE(f.readGrid->RowCount(), 1);
    QCOMPARE(f.readGrid->FixedRows(), 0);
    QVERIFY(f.readGrid->Cell(1, 0).isEmpty());
    QVERIFY(f.page->enable_Btn->isEnabled());
    QVERIFY(f.page->disable_Btn->isEnabled());
    QVERIFY(f.page->vrx_clear_all_B->isVisible());
    f.page->Poll_Next_Module();
    QVERIFY(f.relays.line.chunks.isEmpty());
    QVERIFY(!f.page->TxLit());
}

void TestVrxDebugPage::pollsSendTheDescribedFrames()
{
    PageFixture f;
    f.Configure(1, {1, 1, 1, 1, 1, 1, 1, 1});
    f.Configure(2, {1, 2, 3, 4, 5, 0, 1, 1});
    QVERIFY(f.page->enable_BtnClick());
    f.page->Poll_Next_Module();
    f.page->Poll_Next_Module();

    // The address byte with mark parity, the rest with space, at 57600 baud.
    const QList<FakeLine::Chunk> &chunks = f.relays.line.chunks;
    QCOMPARE(chunks.size(), 4);
    QCOMPARE(chunks[0].bytes, Hex("0D"));
    QCOMPARE(chunks[0].parity, ParityBits::Mark);
    QCOMPARE(chunks[1].bytes, Hex("09 01 01 01 01 01 01 01 01 01 9D 86"));
    QCOMPARE(chunks[1].parity, ParityBits::Space);
    QCOMPARE(chunks[2].bytes, Hex("0E"));
    QCOMPARE(chunks[2].parity, ParityBits::Mark);
    QCOMPARE(chunks[3].bytes, Hex("09 01 01 02 03 04 05 00 01 01 3C D0"));
    QCOMPARE(chunks[3].baud, 57600);
}

void TestVrxDebugPage::readingsShowAsTextsInTheirRows()
{
    PageFixture f;
    // Modules 2 and 3 selected and configured, module 1 not: rows 1 and 2,
    // module 3's readings in row 2.
    f.Configure(2, {1, 1, 1, 1, 1, 1, 1, 1});
    f.Configure(3, {1, 1, 1, 5, 2, 3, 4, 5});
    f.relays.readings[2] = Hex("4B 4B 4B 4B 4B 4B 4B 4B");
    f.relays.readings[3] = Hex("FF 01 4B 78 32 00 FE 28"); // 255 1 75 120 50 0 254 40
    QVERIFY(f.page->enable_BtnClick());
    QCOMPARE(f.ReadRow(1).first(), QStringLiteral("Module 2"));
    QCOMPARE(f.ReadRow(2).first(), QStringLiteral("Module 3"));
    QCOMPARE(f.readGrid->Cell(9, 2), QStringLiteral("3"));
    QVERIFY(f.Readings(2).join(QString()).isEmpty());

    f.page->Poll_Next_Module();
    f.page->Poll_Next_Module();
    QCOMPARE(f.Readings(1), QStringList(8, QStringLiteral("25.0")));
    QCOMPARE(f.Readings(2), Words("SH OP 25.0 12.0 0.0 -50.0 204.0 4.0"));

    f.page->Set_Unit_Name(QStringLiteral("Fahrenheit"));
    f.page->Poll_Next_Module();
    QCOMPARE(f.Readings(1), QStringList(8, QStringLiteral("77.0")));
    QCOMPARE(f.Readings(2), Words("SH OP 25.0 12.0 0.0 -50.0 204.0 4.0"));
}

void TestVrxDebugPage::rowsArePolledInTurnAndThePolledRowIsBlue()
{
    PageFixture f;
    for (int m = 1; m <= 3; ++m) {
        f.Configure(m, {1, 1, 1, 1, 1, 1, 1, 1});
        f.relays.readings[m] = QByteArray(8, char(70 + m));
    }
    QVERIFY(f.page->enable_BtnClick());
    for (int tick = 1; tick <= 5; ++tick) {
        f.page->Poll_Next_Module();
        const int polledRow = (tick - 1) % 3 + 1;
        for (int row = 1; row <= 3; ++row) {
            QVERIFY2(BlueInk(f.readGrid, 3, row) == (row == polledRow),
                     qPrintable(QStringLiteral("tick %1, row %2").arg(tick).arg(row)));
        }
    }
    QCOMPARE(f.relays.Polled(), (QList<int>{1, 2, 3, 1, 2}));
    QCOMPARE(f.Readings(3), QStringList(8, QStringLiteral("23.0")));
}

void TestVrxDebugPage::failedPollShowsBlueDashesWithoutRx()
{
    PageFixture f;
    f.Configure(1, {1, 1, 1, 1, 1, 1, 1, 1});
    f.Configure(2, {5, 5, 5, 5, 5, 5, 5, 5});
    f.relays.readings[1] = QByteArray(8, char(75));
    QVERIFY(f.page->enable_BtnClick());
    f.page->Poll_Next_Module();
    QVERIFY(f.page->RxLit());
    f.page->Rx_TimerTimer();

    f.page->Poll_Next_Module(); // module 2 does not answer
    QCOMPARE(f.Readings(2), kDashes);
    QVERIFY(BlueInk(f.readGrid, 1, 2));
    QVERIFY(!BlueInk(f.readGrid, 1, 1));
    QVERIFY(f.page->TxLit());
    QVERIFY(!f.page->RxLit());
    QVERIFY(!f.page->Rx_Timer->isActive());
    QCOMPARE(f.Readings(1), QStringList(8, QStringLiteral("25.0")));

    // A port that cannot be opened fails the same way, and polling goes on.
    f.relays.line.FailOpen(EBUSY, -1);
    f.page->Poll_Next_Module();
    QCOMPARE(f.Readings(1), kDashes);
    QVERIFY(BlueInk(f.readGrid, 1, 1));
}

void TestVrxDebugPage::lampsFlashUntilTheirTimersFire()
{
    PageFixture f;
    f.Configure(1, {1, 1, 1, 1, 1, 1, 1, 1});
    f.relays.readings[1] = QByteArray(8, char(75));
    QVERIFY(f.page->enable_BtnClick());

    VrxTypes types{};
    QCOMPARE(f.page->Next_Request(types), 1);
    QCOMPARE(types, (VrxTypes{1, 1, 1, 1, 1, 1, 1, 1}));
    QVERIFY(f.page->TxLit());
    QCOMPARE(f.page->Tx_Led->accessibleDescription(), QStringLiteral("on"));
    QVERIFY(f.page->Tx_Timer->isActive());
    QCOMPARE(f.page->Tx_Timer->interval(), 250);
    QVERIFY(!f.page->RxLit());

    f.page->Show_Reply(true, 1, {75, 75, 75, 75, 75, 75, 75, 75});
    QVERIFY(f.page->RxLit());
    QVERIFY(f.page->Rx_Timer->isActive());
    QCOMPARE(f.page->Rx_Timer->interval(), 250);

    f.page->Tx_TimerTimer();
    QVERIFY(!f.page->TxLit());
    QVERIFY(!f.page->Tx_Timer->isActive());
    QVERIFY(f.page->RxLit());
    f.page->Rx_TimerTimer();
    QVERIFY(!f.page->RxLit());
    QVERIFY(!f.page->Rx_Timer->isActive());
    QCOMPARE(f.page->Rx_Led->accessibleDescription(), QStringLiteral("off"));

    // The pictures: a cyan lamp when lit, a dark one when not.
    const auto centre = [&f](QLabel *lamp) {
        return lamp->grab().toImage().pixelColor(lamp->width() / 2, lamp->height() / 2);
    };
    QCOMPARE(centre(f.page->Tx_Led), QColor(0, 72, 72));
    f.page->Poll_Next_Module();
    QCOMPARE(centre(f.page->Tx_Led), QColor(0, 255, 255));
    QCOMPARE(centre(f.page->Rx_Led), QColor(0, 255, 255));
}

void TestVrxDebugPage::everyConfigurationChangeIsRefusedWhilePolling()
{
    PageFixture f;
    f.Configure(1, {1, 2, 3, 4, 5, 0, 1, 2});
    f.Configure(3, {});
    f.ChooseCell(2, 1);
    QVERIFY(f.page->vrx_setting_CB->isVisible());
    QVERIFY(f.page->enable_BtnClick());
    const auto types = f.page->Poller().vrx_input_type;
    const QStringList listed = f.Listed();

    QVERIFY(!f.page->vrx_setting_CB->isVisible());
    QVERIFY(!f.page->enable_Btn->isEnabled());
    QVERIFY(f.page->disable_Btn->isEnabled());
    for (QPushButton *button : {f.page->vrx_change_col_B, f.page->vrx_change_row_B,
                                f.page->vrx_change_all_B, f.page->vrx_clear_all_B})
        QVERIFY(button->isHidden());

    f.Click(1);
    f.Click(2);
    QCOMPARE(TVRX_RTD_F::NodeStateIndex(f.Node(1)), 3);
    QCOMPARE(TVRX_RTD_F::NodeStateIndex(f.Node(2)), 2);
    QCOMPARE(f.page->Poller().vrx_module_state[2], 0);
    QCOMPARE(f.Listed(), listed);

    f.ChooseCell(4, 2);
    QVERIFY(!f.page->vrx_setting_CB->isVisible());
    QTest::keyClick(f.grid, Qt::Key_Tab);
    QTest::keyClick(f.grid, Qt::Key_Return);
    QVERIFY(!f.page->vrx_setting_CB->isVisible());
    f.page->vrx_setting_CB->setCurrentIndex(5);
    f.page->vrx_setting_CBChange();
    f.page->vrx_change_row_BClick();
    f.page->vrx_change_col_BClick();
    f.page->vrx_change_all_BClick();
    f.page->vrx_clear_all_BClick();
    QCOMPARE(f.page->Poller().vrx_input_type, types);
    QCOMPARE(f.grid->Cell(2, 1), QStringLiteral("Ni100"));
}

void TestVrxDebugPage::disableKeepsReadingsAndEnableRebuilds()
{
    PageFixture f;
    f.Configure(2, {1, 1, 1, 1, 1, 1, 1, 1});
    f.relays.readings[2] = QByteArray(8, char(75));
    QVERIFY(f.page->enable_BtnClick());
    f.page->Poll_Next_Module();
    f.page->disable_BtnClick();
    QVERIFY(!f.page->Polling());
    QVERIFY(f.page->enable_Btn->isEnabled());
    QVERIFY(!f.page->disable_Btn->isEnabled());
    QVERIFY(f.page->vrx_change_row_B->isVisible());
    QCOMPARE(f.Readings(1), QStringList(8, QStringLiteral("25.0")));

    // Editable again; Enable lists the configuration as it is now.
    f.Configure(1, {5, 0, 0, 0, 0, 0, 0, 0});
    QVERIFY(f.page->enable_BtnClick());
    QCOMPARE(f.ReadRow(1).first(), QStringLiteral("Module 1"));
    QCOMPARE(f.ReadRow(2), QStringList{QStringLiteral("Module 2")} + QStringList(8, QString()));
}

QTEST_MAIN(TestVrxDebugPage)
#include "tst_vrxdebugpage.moc"
