#include "modules/miscinfopage.h"

#include "config/tmessageboxf.h"
#include "link/protocol.h"
#include "modules/moduletable.h"
#include "widgets/pagelayout.h"
#include "widgets/palette.h"
#include "widgets/stateimages.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// Grid shape: column 0 the module, 1..3 the scan texts, 4 the hidden
// address, 5 a hidden "0".
constexpr int kGridCols = 6;
constexpr int kColWidths[kGridCols] = {100, 150, 150, 150, 0, 0};
constexpr int kLastTextCol = 3;
constexpr int kAddressCol = 4;
constexpr int kSpareCol = 5;
constexpr int kAddressRole = Qt::UserRole;

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &description, int left)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setGeometry(left, 8, 100, 25);
    button->setAccessibleDescription(description);
    return button;
}

// A menu item whose caption shows as written, with the mnemonic on its
// digit: "Set &10Hz" reads "Set 10Hz", and 1 picks it while the menu is open.
QAction *AddMenuItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1StringView(name));
    return item;
}

// Module rows hold an address through which every operation finds them.
int AddressOf(const QString &cell)
{
    bool ok = false;
    const int address = cell.toInt(&ok);
    return ok && address >= 1 && address <= kModuleCount ? address : 0;
}

// The window answers between the exchanges (Protocol::Idle), not only
// between the modules: a scan makes three calls per module.
bool ReadOnBus(const BusTarget &target, int first, int count, uint16_t *values)
{
    return Protocol(&TMessageBoxF::ProcessWindowEvents).ReadRegisters(target, first, count, values);
}

bool WriteOnBus(const BusTarget &target, int first, int count, const int16_t *values)
{
    return Protocol(&TMessageBoxF::ProcessWindowEvents)
        .WriteRegisters(target, first, count, values);
}

} // namespace

MiscInfoPage::MiscInfoPage(ModuleTable &table, QWidget *parent) : QWidget(parent), m_table(table)
{
    setObjectName(QStringLiteral("MiscInfoPage"));
    SetBackground(this, kMediumGrey);
    SetDialogFont(this);

    freq_T = new QTreeWidget(this);
    freq_T->setObjectName(QStringLiteral("freq_T"));
    SetUpModuleListTree(freq_T);
    freq_T->setAccessibleName(QStringLiteral("Listed modules"));

    Freq_Grid = new StringGrid(this);
    Freq_Grid->setObjectName(QStringLiteral("Freq_Grid"));
    Freq_Grid->setAccessibleName(QStringLiteral("Module information"));
    Freq_Grid->SetColCount(kGridCols);
    for (int c = 0; c < kGridCols; ++c)
        Freq_Grid->SetColWidth(c, kColWidths[c]);
    Freq_Grid->SetDefaultRowHeight(StringGrid::kDefaultRowHeight);
    Freq_Grid->SetRowCount(1);
    Freq_Grid->SetColor(kMediumGrey);
    Freq_Grid->SetFixedColor(kMediumGrey);
    Freq_Grid->SetDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect) {
        Freq_GridDrawCell(painter, col, row, rect);
    });

    freq_P = new QFrame(this);
    freq_P->setObjectName(QStringLiteral("freq_P"));
    SetBackground(freq_P, kMediumGrey);
    scan_B = MakeButton(freq_P, "scan_B", QStringLiteral("Scan"),
                        QStringLiteral("Reads device type, firmware version and notch filter "
                                       "frequency of every listed module"),
                        135);
    freq_B = MakeButton(freq_P, "freq_B", QStringLiteral("Set Frequency"),
                        QStringLiteral("Sets the notch filter frequency of every listed module: "
                                       "opens a menu of 10, 50 and 60 Hz"),
                        372);

    Freq_Menu = new QMenu(this);
    Freq_Menu->setObjectName(QStringLiteral("Freq_Menu"));
    Freq_Menu->setAccessibleName(QStringLiteral("Notch filter frequency"));
    Set10Hz1 = AddMenuItem(Freq_Menu, "Set10Hz1", QStringLiteral("Set &10Hz"));
    Set50Hz1 = AddMenuItem(Freq_Menu, "Set50Hz1", QStringLiteral("Set &50Hz"));
    Set60Hz1 = AddMenuItem(Freq_Menu, "Set60Hz1", QStringLiteral("Set &60Hz"));

    connect(scan_B, &QPushButton::clicked, this, &MiscInfoPage::scan_BClick);
    connect(freq_B, &QPushButton::clicked, this, &MiscInfoPage::freq_BClick);
    connect(Set10Hz1, &QAction::triggered, this, &MiscInfoPage::Set10Hz1Click);
    connect(Set50Hz1, &QAction::triggered, this, &MiscInfoPage::Set50Hz1Click);
    connect(Set60Hz1, &QAction::triggered, this, &MiscInfoPage::Set60Hz1Click);

    resize(786, 439);
}

void MiscInfoPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOutTreePage(this, freq_T, Freq_Grid, freq_P);
}

void MiscInfoPage::RefreshModuleTree()
{
    freq_T->clear();
    for (int m = 1; m <= kModuleCount; ++m) {
        if (m_table.module_active[size_t(m)] != kMarkOn)
            continue;
        auto *node = new QTreeWidgetItem(freq_T, QStringList{QStringLiteral("Module %1").arg(m)});
        node->setIcon(0, StateIcon(kMarkOn));
        node->setData(0, kAddressRole, m);
    }
}

void MiscInfoPage::RefreshModuleInfoGrid()
{
    Freq_Grid->SetFixedRows(0);
    Freq_Grid->ClearCells();
    Freq_Grid->SetRowCount(1);
    for (int m = 1; m <= kModuleCount; ++m) {
        if (m_table.module_active[size_t(m)] != kMarkOn)
            continue;
        const int row = Freq_Grid->RowCount();
        Freq_Grid->SetRowCount(row + 1);
        Freq_Grid->SetCell(0, row, QStringLiteral("Module %1").arg(m));
        Freq_Grid->SetCell(kAddressCol, row, QString::number(m));
        Freq_Grid->SetCell(kSpareCol, row, QStringLiteral("0"));
    }
    if (Freq_Grid->RowCount() >= 2) {
        Freq_Grid->SetCell(1, 0, QStringLiteral("Device Type"));
        Freq_Grid->SetCell(2, 0, QStringLiteral("Firmware Version"));
        Freq_Grid->SetCell(3, 0, QStringLiteral("Notch Filter Frequency"));
        Freq_Grid->SetFixedRows(1);
    }
}

QList<int> MiscInfoPage::GridAddresses() const
{
    QList<int> addresses;
    for (int row = 1; row < Freq_Grid->RowCount(); ++row)
        addresses.append(AddressOf(Freq_Grid->Cell(kAddressCol, row)));
    return addresses;
}

void MiscInfoPage::scan_BClick()
{
    // The bus work that follows keeps the thread; draw the window first.
    window()->repaint();
    const QList<int> addresses = GridAddresses();
    const auto box = TMessageBoxF::CreateProgressBox(window(), QStringLiteral("Scanning Modules"),
                                                     static_cast<int>(addresses.size()));
    // Step r is grid row r: the addresses were taken from rows 1 to last.
    ScanModuleRows(
        m_table, addresses, ReadOnBus,
        [this](int row, const ModuleInfo &info) {
            Freq_Grid->SetCell(1, row, info.device_type);
            Freq_Grid->SetCell(2, row, info.firmware);
            Freq_Grid->SetCell(3, row, info.frequency);
        },
        [&box](int step) { TMessageBoxF::SetProgress(box.get(), step); });
    emit scanned();
}

void MiscInfoPage::freq_BClick()
{
    Freq_Menu->popup(freq_B->mapToGlobal(QPoint(0, 0)));
}

void MiscInfoPage::Set10Hz1Click()
{
    SetNotchFrequency(10);
}

void MiscInfoPage::Set50Hz1Click()
{
    SetNotchFrequency(50);
}

void MiscInfoPage::Set60Hz1Click()
{
    SetNotchFrequency(60);
}

QString MiscInfoPage::NotchWarningText()
{
    return QStringLiteral(
        "\nAny changes to the notch filter frequency may require the module supply voltage to "
        "be cycled before new readings can be taken.\n\nIt is recommended to match the notch "
        "filter frequency to the system frequency (usually 50 or 60 Hz).  If the system "
        "frequency varies (e.g. VFD's) or is not 50 or 60 Hz, the 10 Hz notch filter setting "
        "should be selected.  The module will operate at reduced speed when a 10 Hz notch "
        "filter is selected.  To be able to modify the notch filter frequency, the unit must "
        "have firmware version 3.11 or greater.\n\nThe following are default settings:\n\n"
        "Module Type\tFactory Default\nVRX-RTD\t10 Hz\nTAV-RTD\t60 Hz\n\n\nAll viewable units "
        "will have their frequency changed!");
}

void MiscInfoPage::SetNotchFrequency(int hz)
{
    // Only the three menu items call this; another frequency has no command.
    if (!NotchCommandValue(hz))
        return;
    const int answer = ShowMemoMessageBox(window(), NotchWarningText(), QStringLiteral("Warning!"),
                                          QStringLiteral("Please Read Carefully"), 1);
    if (answer != TMessageBoxF::kResultOk)
        return;
    {
        const QList<int> addresses = GridAddresses();
        const auto box = TMessageBoxF::CreateProgressBox(
            window(), QStringLiteral("Setting Frequency"), static_cast<int>(addresses.size()));
        (void)SetNotchFrequencyRows(m_table, addresses, hz, WriteOnBus, [&box](int step) {
            TMessageBoxF::SetProgress(box.get(), step);
        });
    }
    scan_BClick();
    ShowMessageBox(window(),
                   QStringLiteral("Module may have to be powered down\nto complete configuration."),
                   QStringLiteral("Frequency Change"), 0);
}

void MiscInfoPage::Freq_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect)
{
    if (col > kLastTextCol)
        return;
    const bool heading = row == 0 || col == 0;
    PaintGridTile(painter, rect, heading ? kSkyBlue : kSilver, Freq_Grid->Cell(col, row));
}
