#include "config/configpage.h"

#include "config/configfile.h"
#include "config/configsender.h"
#include "config/configtree.h"
#include "config/tmessageboxf.h"
#include "link/protocol.h"
#include "modules/moduletable.h"
#include "modules/readingconversion.h"
#include "widgets/fontfit.h"
#include "widgets/gridselectorkeys.h"
#include "widgets/pagelayout.h"
#include "widgets/palette.h"
#include "widgets/stateimages.h"
#include "widgets/stringgrid.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace {

constexpr int kNumberRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

// Grid shape: column 0 the module, 1..8 the inputs, 9 the hidden address.
constexpr int kGridCols = 10;
constexpr int kAddressCol = 9;
constexpr int kColWidth = 64;
constexpr int kRowHeight = StringGrid::kDefaultRowHeight;

// The selector's items; an item's index is its input type code.
QStringList InputTypeItems()
{
    return {QStringLiteral("Not Used"), QStringLiteral("Pt100"), QStringLiteral("Ni100"),
            QStringLiteral("Ni120"),    QStringLiteral("Cu10"),  QStringLiteral("4-20 mA")};
}

QIcon NodeIcon(int index)
{
    if (index >= 1 && index <= 3)
        return StateIcon(index);
    // No picture, but the same room as one, so that node texts stay aligned
    // when a group opens.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &hint, int left)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setToolTip(hint);
    button->setGeometry(left, 8, 90, 25);
    return button;
}

} // namespace

ConfigPage::ConfigPage(ModuleTable &table, QWidget *parent) : QWidget(parent), m_table(table)
{
    setObjectName(QStringLiteral("ConfigPage"));
    // The 64-pixel tiles and the 90-pixel buttons are sized for this font.
    SetDialogFont(this);

    Config_Tree = new ConfigTree(this);
    Config_Tree->setObjectName(QStringLiteral("Config_Tree"));
    SetUpStateTree(Config_Tree);
    Config_Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    Config_Tree->setToolTip(
        QStringLiteral("Only RTDs displaying green dot can be configured and monitored"));

    Config_Grid = new StringGrid(this);
    Config_Grid->setObjectName(QStringLiteral("Config_Grid"));
    Config_Grid->SetColCount(kGridCols);
    for (int c = 0; c < kGridCols; ++c)
        Config_Grid->SetColWidth(c, c == kAddressCol ? 0 : kColWidth);
    Config_Grid->SetDefaultRowHeight(kRowHeight);
    Config_Grid->SetRowCount(1);
    Config_Grid->SetColor(kMediumGrey);
    Config_Grid->SetFixedColor(kMediumGrey);

    options_P = new QFrame(this);
    options_P->setObjectName(QStringLiteral("options_P"));
    SetBackground(options_P, kMediumGrey);
    change_row_B =
        MakeButton(options_P, "change_row_B", QStringLiteral("Change Row"),
                   QStringLiteral("Changes all RTDs in same row as selected to match"), 12);
    change_col_B =
        MakeButton(options_P, "change_col_B", QStringLiteral("Change Column"),
                   QStringLiteral("Changes all RTDs in same column as selected to match"), 135);
    change_all_B =
        MakeButton(options_P, "change_all_B", QStringLiteral("Change All"),
                   QStringLiteral("Changes all visible RTDs to match selected RTD"), 383);
    clear_all_B = MakeButton(options_P, "clear_all_B", QStringLiteral("Clear All"),
                             QStringLiteral("Clears configuration from all visible RTDs"), 507);
    // One font for all four, so that the captions look alike.
    const QList<QPushButton *> buttons{change_row_B, change_col_B, change_all_B, clear_all_B};
    QStringList captions;
    for (const QPushButton *button : buttons)
        captions.append(button->text());
    const QFont buttonFont = FontToFit(options_P->font(), captions, CaptionRoom(change_col_B));
    for (QPushButton *button : buttons)
        button->setFont(buttonFont);

    // A child of the page, not of the grid, so that it is placed in page
    // coordinates and drawn above the grid.
    setting_CB = new QComboBox(this);
    setting_CB->setObjectName(QStringLiteral("setting_CB"));
    setting_CB->setEditable(false);
    setting_CB->addItems(InputTypeItems());
    QFont selectorFont = setting_CB->font();
    selectorFont.setPixelSize(9);
    setting_CB->setFont(FontToFit(selectorFont, InputTypeItems(),
                                  ItemRoom(setting_CB, QSize(kColWidth, kRowHeight))));
    SetBackground(setting_CB, kWhite);
    setting_CB->hide();

    SetMeteringHint(true);

    // The selection, not the current item: a view that gains focus makes its
    // first node current without selecting it, which is no choice of the user.
    connect(Config_Tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = Config_Tree->selectedItems();
        if (!selected.isEmpty())
            Config_TreeChange(selected.first());
    });
    Config_Tree->SetExpandingHook(
        [this](QTreeWidgetItem *node) { return Config_TreeExpanding(node); });
    Config_Tree->SetCollapsingHook(
        [this](QTreeWidgetItem *node) { return Config_TreeCollapsing(node); });
    connect(Config_Tree, &ConfigTree::Clicked, this, &ConfigPage::Config_TreeClick);

    Config_Grid->SetSelectCellHook(
        [this](int col, int row) { return Config_GridSelectCell(col, row); });
    Config_Grid->SetDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect) {
        Config_GridDrawCell(painter, col, row, rect);
    });
    connect(Config_Grid, &StringGrid::TopLeftChanged, this, &ConfigPage::Config_GridTopLeftChanged);

    connect(setting_CB, &QComboBox::activated, this, &ConfigPage::setting_CBChange);
    new GridSelectorKeys(Config_Grid, setting_CB, 1, kInputCount);
    connect(change_row_B, &QPushButton::clicked, this, &ConfigPage::change_row_BClick);
    connect(change_col_B, &QPushButton::clicked, this, &ConfigPage::change_col_BClick);
    connect(change_all_B, &QPushButton::clicked, this, &ConfigPage::change_all_BClick);
    connect(clear_all_B, &QPushButton::clicked, this, &ConfigPage::clear_all_BClick);

    resize(786, 439);
}

void ConfigPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOutTreePage(this, Config_Tree, Config_Grid, options_P);
}

bool ConfigPage::IsGroupNode(const QTreeWidgetItem *node)
{
    return node && !node->parent();
}

int ConfigPage::NodeNumber(const QTreeWidgetItem *node)
{
    return node ? node->data(0, kNumberRole).toInt() : 0;
}

int ConfigPage::NodeStateIndex(const QTreeWidgetItem *node)
{
    return node ? node->data(0, kStateRole).toInt() : 0;
}

void ConfigPage::SetNodeStateIndex(QTreeWidgetItem *node, int index)
{
    node->setData(0, kStateRole, index);
    node->setIcon(0, NodeIcon(index));
}

void ConfigPage::BuildConfigTree()
{
    {
        const QSignalBlocker blocker(Config_Tree);
        Config_Tree->clear();
        current_node = nullptr;
        for (int g = 1; g <= kGroupCount; ++g) {
            const int first = ModuleTable::FirstModuleOfGroup(g);
            const int last = ModuleTable::LastModuleOfGroup(g);
            auto *group = new QTreeWidgetItem(Config_Tree);
            group->setText(0, QStringLiteral("RTD Modules %1-%2").arg(first).arg(last));
            group->setData(0, kNumberRole, g);
            SetNodeStateIndex(group, 1);
            for (int m = first; m <= last; ++m) {
                auto *module = new QTreeWidgetItem(group);
                module->setText(0, QStringLiteral("Module %1").arg(m));
                module->setData(0, kNumberRole, m);
                SetNodeStateIndex(module, kMarkOn);
            }
        }
    }
    // Resets every group to collapsed, every module to selected and every
    // input to "Not Used".
    m_table.NewConfiguration();
}

void ConfigPage::RefreshConfigGrid()
{
    selected_row = 0;
    selected_col = 0;
    setting_CB->hide();

    Config_Grid->SetFixedRows(0);
    Config_Grid->ClearCells();
    Config_Grid->SetRowCount(1);

    for (int g = 1; g <= kGroupCount; ++g) {
        if (m_table.group_state[g] != kMarkOn)
            continue;
        for (int m = ModuleTable::FirstModuleOfGroup(g); m <= ModuleTable::LastModuleOfGroup(g);
             ++m) {
            if (m_table.module_state[m] != kMarkOn)
                continue;
            const int row = Config_Grid->RowCount();
            Config_Grid->SetRowCount(row + 1);
            Config_Grid->SetCell(0, row, QStringLiteral("Module %1").arg(m));
            for (int k = 1; k <= kInputCount; ++k)
                Config_Grid->SetCell(k, row, InputTypeText(m_table.input_type[k][m]));
            Config_Grid->SetCell(kAddressCol, row, QString::number(m));
        }
    }

    if (Config_Grid->RowCount() >= 2) {
        for (int k = 1; k <= kInputCount; ++k)
            Config_Grid->SetCell(k, 0, QStringLiteral("INPUT %1").arg(k));
        Config_Grid->SetFixedRows(1);
    }
}

void ConfigPage::NewConfiguration1Click()
{
    BuildConfigTree();
    RefreshConfigGrid();
}

void ConfigPage::SetMeteringHint(bool on)
{
    Config_Grid->setToolTip(on ? QStringLiteral("Configuration cannot be changed while metering")
                               : QString());
}

void ConfigPage::LockForMetering(bool running)
{
    if (running)
        CloseSelector();
    else
        SetMeteringHint(false);
    options_P->setVisible(!running);
}

void ConfigPage::CloseSelector()
{
    setting_CB->hidePopup();
    setting_CB->hide();
}

void ConfigPage::SendConfiguration(QWidget *mainWindow)
{
    Protocol protocol(&TMessageBoxF::ProcessWindowEvents);
    // The bus work that follows keeps the thread; draw the window first.
    if (mainWindow)
        mainWindow->repaint();
    const QList<int> addresses = GridAddresses();
    const auto box = TMessageBoxF::CreateProgressBox(
        mainWindow, QStringLiteral("Sending Configuration"), static_cast<int>(addresses.size()));
    SendConfigurationRows(
        m_table, addresses,
        [&protocol](const BusTarget &target, int first, int count, const int16_t *values) {
            return protocol.WriteRegisters(target, first, count, values);
        },
        [&box](int step) { TMessageBoxF::SetProgress(box.get(), step); });
}

Result<int> ConfigPage::LoadConfigFile(const QString &name)
{
    const Result<QByteArray> bytes = ReadConfigFile(name);
    if (!bytes) {
        qWarning("Configuration not loaded: %s", qUtf8Printable(bytes.error()));
        return Fail(bytes.error());
    }
    const Result<ConfigImage> image = ParseConfigImage(*bytes, name);
    if (!image) {
        qWarning("Configuration refused: %s", qUtf8Printable(image.error()));
        ShowMessageBox(window(), QStringLiteral("Error in Configuration File."),
                       QStringLiteral("File Error"), 0);
        BuildConfigTree();
        return Fail(image.error());
    }
    ApplyConfigImage(*image, m_table);
    ShowModuleStatesInTree();
    return image->period;
}

void ConfigPage::ShowModuleStatesInTree()
{
    for (int g = 0; g < Config_Tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = Config_Tree->topLevelItem(g);
        if (m_table.group_state[NodeNumber(group)] == kMarkOn)
            SetNodeStateIndex(group, 0);
        for (int i = 0; i < group->childCount(); ++i) {
            QTreeWidgetItem *module = group->child(i);
            if (m_table.module_state[NodeNumber(module)] != kMarkOn) {
                SetNodeStateIndex(module, kMarkOff);
                continue;
            }
            SetNodeStateIndex(module, kMarkOn);
            // A group the table holds closed stays so (a loaded file leaves
            // none such; an added module's group is open).
            if (m_table.group_state[NodeNumber(group)] != kMarkOn)
                continue;
            // Revealing opens the group, through Config_TreeExpanding like a
            // click on its button would.
            group->setExpanded(true);
            Config_Tree->scrollToItem(module);
        }
    }
}

Result<> ConfigPage::SaveConfigFile(const QString &name, int period) const
{
    return WriteConfigFile(name, BuildConfigImage(m_table, period));
}

QList<int> ConfigPage::GridAddresses() const
{
    QList<int> addresses;
    for (int row = 1; row < Config_Grid->RowCount(); ++row)
        addresses.append(GridAddress(row));
    return addresses;
}

int ConfigPage::GridAddress(int row) const
{
    const int address = Config_Grid->Cell(kAddressCol, row).toInt();
    return address >= 1 && address <= kModuleCount ? address : 0;
}

void ConfigPage::Config_TreeChange(QTreeWidgetItem *node)
{
    if (m_table.metering_on)
        return;
    current_node = node;
}

bool ConfigPage::Config_TreeExpanding(QTreeWidgetItem *node)
{
    if (m_table.metering_on)
        return false;
    current_node = node;
    if (IsGroupNode(node))
        m_table.group_state[NodeNumber(node)] = kMarkOn;
    SetNodeStateIndex(node, 0);
    return true;
}

bool ConfigPage::Config_TreeCollapsing(QTreeWidgetItem *node)
{
    if (m_table.metering_on)
        return false;
    current_node = node;
    if (IsGroupNode(node))
        m_table.group_state[NodeNumber(node)] = kMarkOff;
    SetNodeStateIndex(node, 1);
    return true;
}

void ConfigPage::Config_TreeClick()
{
    if (m_table.metering_on)
        return;
    if (current_node && !IsGroupNode(current_node)) {
        const int m = NodeNumber(current_node);
        const int state = NodeStateIndex(current_node);
        if (state == kMarkOn || state == kMarkOff) {
            const int toggled = state == kMarkOn ? kMarkOff : kMarkOn;
            SetNodeStateIndex(current_node, toggled);
            m_table.module_state[m] = toggled;
        }
    }
    RefreshConfigGrid();
}

bool ConfigPage::Config_GridSelectCell(int col, int row)
{
    if (m_table.metering_on)
        return true;
    setting_CB->hide();
    if (row == 0 || col == 0 || col > kInputCount)
        return true;
    const int address = GridAddress(row);
    if (address == 0)
        return true;
    selected_col = col;
    selected_row = row;
    OpenSelectorOverCell(setting_CB, Config_Grid, col, row, m_table.input_type[col][address]);
    return true;
}

void ConfigPage::PlaceSelector()
{
    PlaceSelectorOverCell(setting_CB, Config_Grid, selected_col, selected_row);
}

void ConfigPage::Config_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect)
{
    const bool label = (row == 0) != (col == 0);
    const bool input = row >= 1 && col >= 1 && col <= kInputCount;
    if (!label && !input)
        return;
    PaintGridTile(painter, rect, label ? kSkyBlue : kWhite, Config_Grid->Cell(col, row));
}

void ConfigPage::Config_GridTopLeftChanged()
{
    PlaceSelector();
    const int top = Config_Grid->TopRow();
    // The row partly shown under the last full row still counts as in view.
    if (selected_row < top || selected_row > top + Config_Grid->VisibleRowCount())
        setting_CB->hide();
}

void ConfigPage::setting_CBChange()
{
    if (m_table.metering_on || !HasRememberedCell())
        return;
    const int address = GridAddress(selected_row);
    const int type = setting_CB->currentIndex();
    if (address == 0 || type < 0)
        return;
    m_table.input_type[selected_col][address] = type;
    Config_Grid->SetCell(selected_col, selected_row, InputTypeText(type));
}

bool ConfigPage::HasRememberedCell() const
{
    return selected_row > 0 && selected_col > 0;
}

int ConfigPage::RememberedType() const
{
    if (!HasRememberedCell())
        return -1;
    const int address = GridAddress(selected_row);
    return address == 0 ? -1 : m_table.input_type[selected_col][address];
}

void ConfigPage::change_row_BClick()
{
    const int v = RememberedType();
    if (m_table.metering_on || v < 0)
        return;
    const int a = GridAddress(selected_row);
    for (int k = 1; k <= kInputCount; ++k)
        m_table.input_type[k][a] = v;
    RefreshConfigGrid();
}

void ConfigPage::change_col_BClick()
{
    const int v = RememberedType();
    if (m_table.metering_on || v < 0)
        return;
    for (int a : GridAddresses()) {
        if (a != 0)
            m_table.input_type[selected_col][a] = v;
    }
    RefreshConfigGrid();
}

void ConfigPage::change_all_BClick()
{
    const int v = RememberedType();
    if (m_table.metering_on || v < 0)
        return;
    for (int a : GridAddresses()) {
        for (int k = 1; a != 0 && k <= kInputCount; ++k)
            m_table.input_type[k][a] = v;
    }
    RefreshConfigGrid();
}

void ConfigPage::clear_all_BClick()
{
    if (m_table.metering_on)
        return;
    for (int a : GridAddresses()) {
        for (int k = 1; a != 0 && k <= kInputCount; ++k)
            m_table.input_type[k][a] = kNotUsed;
    }
    RefreshConfigGrid();
}
