#include "debug/tvrx_rtd_f.h"

#include "config/configtree.h"
#include "widgets/fontfit.h"
#include "widgets/gridselectorkeys.h"
#include "widgets/palette.h"
#include "widgets/stateimages.h"
#include "widgets/stringgrid.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int kNumberRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

// Grid shape: column 0 the module, 1..8 the inputs, 9 the hidden module number.
constexpr int kGridCols = 10;
constexpr int kModuleCol = 9;
constexpr int kColWidth = 64;
constexpr int kRowHeight = StringGrid::kDefaultRowHeight;

constexpr int kTreeWidth = 168;
constexpr int kLampMs = 250;
constexpr int kLampSide = 15;

const QColor kBlueText{0, 0, 255};
const QColor kLampLit{0, 255, 255};
const QColor kLampDark{0, 72, 72};

const QString kHint = QStringLiteral("Configuration cannot be changed while metering");

// The selector's items; an item's index is its input type code.
QStringList InputTypeItems()
{
    return {QStringLiteral("Not Used"), QStringLiteral("Pt100"), QStringLiteral("Ni100"),
            QStringLiteral("Ni120"),    QStringLiteral("Cu10"),  QStringLiteral("4-20 mA")};
}

// A lamp's 15 x 15 picture: a cyan disc when lit, a dark one when not.
QPixmap LampPicture(bool lit)
{
    QPixmap pixmap(kLampSide, kLampSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(40, 40, 40), 1.0));
    painter.setBrush(lit ? kLampLit : kLampDark);
    painter.drawEllipse(QRectF(0.5, 0.5, kLampSide - 1.0, kLampSide - 1.0));
    return pixmap;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &hint, const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setToolTip(hint);
    button->setGeometry(geometry);
    return button;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, const QPoint &at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1StringView(name));
    label->move(at);
    label->adjustSize();
    return label;
}

// A half of the page: a silver panel with its caption at the top.
QFrame *MakePanel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1StringView(name));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(geometry);
    SetBackground(panel, kSilver);
    return panel;
}

QLabel *MakeCaption(QFrame *panel, const char *name, const QString &text)
{
    QLabel *caption = MakeLabel(panel, name, text, QPoint(8, 10));
    QFont bold = caption->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    caption->setFont(bold);
    caption->adjustSize();
    return caption;
}

StringGrid *MakeGrid(QFrame *panel, const char *name, const QString &accessibleName)
{
    auto *grid = new StringGrid(panel);
    grid->setObjectName(QLatin1StringView(name));
    grid->setAccessibleName(accessibleName);
    grid->setGeometry(4, 40, 598, 110);
    grid->SetColCount(kGridCols);
    for (int c = 0; c < kGridCols; ++c)
        grid->SetColWidth(c, c == kModuleCol ? 0 : kColWidth);
    grid->SetDefaultRowHeight(kRowHeight);
    grid->SetRowCount(1);
    grid->SetColor(kGray);
    grid->SetFixedColor(kMediumGrey);
    grid->setToolTip(kHint);
    return grid;
}

QLabel *MakeLamp(QWidget *parent, const char *name, const QString &accessibleName, int left)
{
    auto *lamp = new QLabel(parent);
    lamp->setObjectName(QLatin1StringView(name));
    lamp->setGeometry(left, 170, 25, 24);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setPixmap(LampPicture(false));
    lamp->setAccessibleName(accessibleName);
    lamp->setAccessibleDescription(QStringLiteral("off"));
    return lamp;
}

// Writes "INPUT 1" to "INPUT 8" into row 0 and fixes it, once rows follow.
void ShowHeader(StringGrid *grid)
{
    if (grid->RowCount() < 2)
        return;
    for (int k = 1; k <= kInputCount; ++k)
        grid->SetCell(k, 0, QStringLiteral("INPUT %1").arg(k));
    grid->SetFixedRows(1);
}

// Back to one empty row that is not fixed.
void EmptyGrid(StringGrid *grid)
{
    grid->SetFixedRows(0);
    grid->ClearCells();
    grid->SetRowCount(1);
}

void AppendModuleRow(StringGrid *grid, int m)
{
    const int row = grid->RowCount();
    grid->SetRowCount(row + 1);
    grid->SetCell(0, row, QStringLiteral("Module %1").arg(m));
    grid->SetCell(kModuleCol, row, QString::number(m));
}

} // namespace

TVRX_RTD_F::TVRX_RTD_F(VrxPollFunction poll, QWidget *parent)
    : QWidget(parent), m_poller(std::move(poll), {.txOn =
                                                      [this] {
                                                          SetLamp(Tx_Led, m_txLit, true);
                                                          // The exchange that follows keeps the
                                                          // thread for 50 ms.
                                                          Tx_Led->repaint();
                                                          Tx_Timer->start();
                                                      },
                                                  .rxOn =
                                                      [this] {
                                                          SetLamp(Rx_Led, m_rxLit, true);
                                                          Rx_Led->repaint();
                                                          Rx_Timer->start();
                                                      },
                                                  .showRow = [this](int row) { ShowPollRow(row); }})
{
    setObjectName(QStringLiteral("VRX_RTD_F1"));
    SetBackground(this, kMediumGrey);
    // The dialog font at 8 points is 11 pixels high; tiles and buttons are
    // sized for it.
    QFont pageFont = font();
    pageFont.setPixelSize(11);
    setFont(pageFont);

    VRX_TreeView = new ConfigTree(this);
    VRX_TreeView->setObjectName(QStringLiteral("VRX_TreeView"));
    SetUpStateTree(VRX_TreeView);
    VRX_TreeView->setRootIsDecorated(false);
    VRX_TreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    VRX_TreeView->setToolTip(
        QStringLiteral("Only RTDs displaying green dot can be configured and monitored"));
    for (int m = 1; m <= VrxPoller::kVrxModules; ++m) {
        auto *node = new QTreeWidgetItem(VRX_TreeView, {QStringLiteral("Module %1").arg(m)});
        node->setData(0, kNumberRole, m);
        node->setData(0, kStateRole, kMarkOff);
        node->setIcon(0, StateIcon(kMarkOff));
    }

    config_P = MakePanel(this, "config_P", QRect(174, 3, 607, 202));
    config_L = MakeCaption(config_P, "config_L", QStringLiteral("Configuration"));
    VRX_Grid = MakeGrid(config_P, "VRX_Grid", QStringLiteral("Configuration"));
    // Right after the grid in the focus chain, so that Tab from the last
    // input cell goes on to the buttons.
    vrx_setting_CB = new QComboBox(config_P);
    vrx_setting_CB->setObjectName(QStringLiteral("vrx_setting_CB"));
    vrx_setting_CB->setEditable(false);
    vrx_setting_CB->addItems(InputTypeItems());
    QFont selectorFont = vrx_setting_CB->font();
    selectorFont.setPixelSize(9);
    vrx_setting_CB->setFont(FontToFit(selectorFont, InputTypeItems(),
                                      ItemRoom(vrx_setting_CB, QSize(kColWidth, kRowHeight))));
    SetBackground(vrx_setting_CB, kWhite);
    vrx_setting_CB->hide();

    vrx_change_col_B = MakeButton(
        config_P, "vrx_change_col_B", QStringLiteral("Change Column"),
        QStringLiteral("Changes all RTDs in same column as selected to match"), {16, 168, 90, 25});
    vrx_change_row_B = MakeButton(
        config_P, "vrx_change_row_B", QStringLiteral("Change Row"),
        QStringLiteral("Changes all RTDs in same row as selected to match"), {120, 168, 90, 25});
    vrx_change_all_B = MakeButton(config_P, "vrx_change_all_B", QStringLiteral("Change All"),
                                  QStringLiteral("Changes all visible RTDs to match selected RTD"),
                                  {396, 168, 90, 25});
    vrx_clear_all_B = MakeButton(config_P, "vrx_clear_all_B", QStringLiteral("Clear All"),
                                 QStringLiteral("Clears configuration from all visible RTDs"),
                                 {500, 168, 90, 25});

    meter_P = MakePanel(this, "meter_P", QRect(174, 211, 607, 202));
    metering_L = MakeCaption(meter_P, "metering_L", QStringLiteral("Metering"));
    VRX_Read_Grid = MakeGrid(meter_P, "VRX_Read_Grid", QStringLiteral("Metering"));
    tx_L = MakeLabel(meter_P, "tx_L", QStringLiteral("Tx"), QPoint(14, 155));
    rx_L = MakeLabel(meter_P, "rx_L", QStringLiteral("Rx"), QPoint(66, 155));
    Tx_Led = MakeLamp(meter_P, "Tx_Led", QStringLiteral("Tx"), 8);
    Rx_Led = MakeLamp(meter_P, "Rx_Led", QStringLiteral("Rx"), 60);
    enable_Btn =
        MakeButton(meter_P, "enable_Btn", QStringLiteral("Enable"), {}, {120, 170, 90, 24});
    disable_Btn =
        MakeButton(meter_P, "disable_Btn", QStringLiteral("Disable"), {}, {396, 170, 90, 24});

    // One font for all six buttons, so that the captions look alike.
    const QList<QPushButton *> buttons{vrx_change_col_B, vrx_change_row_B, vrx_change_all_B,
                                       vrx_clear_all_B,  enable_Btn,       disable_Btn};
    QStringList captions;
    for (const QPushButton *button : buttons)
        captions.append(button->text());
    const QFont buttonFont = FontToFit(font(), captions, CaptionRoom(vrx_change_col_B));
    for (QPushButton *button : buttons)
        button->setFont(buttonFont);

    Tx_Timer = new QTimer(this);
    Tx_Timer->setObjectName(QStringLiteral("Tx_Timer"));
    Tx_Timer->setInterval(kLampMs);
    Rx_Timer = new QTimer(this);
    Rx_Timer->setObjectName(QStringLiteral("Rx_Timer"));
    Rx_Timer->setInterval(kLampMs);

    // The selection, not the current item: a view that gains focus makes its
    // first node current without selecting it, which is no choice of the user.
    connect(VRX_TreeView, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = VRX_TreeView->selectedItems();
        if (!selected.isEmpty())
            VRX_TreeViewChange(selected.first());
    });
    connect(VRX_TreeView, &ConfigTree::Clicked, this, &TVRX_RTD_F::VRX_TreeViewClick);
    VRX_Grid->SetSelectCellHook([this](int col, int row) { return VRX_GridSelectCell(col, row); });
    VRX_Grid->SetDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect) {
        VRX_GridDrawCell(painter, col, row, rect);
    });
    VRX_Read_Grid->SetDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect) {
        VRX_Read_GridDrawCell(painter, col, row, rect);
    });
    // Owned by the grid.
    new GridSelectorKeys(VRX_Grid, vrx_setting_CB, 1, kInputCount);
    connect(vrx_setting_CB, &QComboBox::activated, this, &TVRX_RTD_F::vrx_setting_CBChange);
    connect(vrx_change_col_B, &QPushButton::clicked, this, &TVRX_RTD_F::vrx_change_col_BClick);
    connect(vrx_change_row_B, &QPushButton::clicked, this, &TVRX_RTD_F::vrx_change_row_BClick);
    connect(vrx_change_all_B, &QPushButton::clicked, this, &TVRX_RTD_F::vrx_change_all_BClick);
    connect(vrx_clear_all_B, &QPushButton::clicked, this, &TVRX_RTD_F::vrx_clear_all_BClick);
    connect(Tx_Timer, &QTimer::timeout, this, &TVRX_RTD_F::Tx_TimerTimer);
    connect(Rx_Timer, &QTimer::timeout, this, &TVRX_RTD_F::Rx_TimerTimer);

    resize(786, 419);
}

void TVRX_RTD_F::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    VRX_TreeView->setGeometry(0, 0, kTreeWidth, height());
}

int TVRX_RTD_F::NodeNumber(const QTreeWidgetItem *node)
{
    return node ? node->data(0, kNumberRole).toInt() : 0;
}

int TVRX_RTD_F::NodeStateIndex(const QTreeWidgetItem *node)
{
    return node ? node->data(0, kStateRole).toInt() : 0;
}

void TVRX_RTD_F::Set_Unit_Name(const QString &unit)
{
    m_poller.unit_name = unit;
}

int TVRX_RTD_F::Next_Request(VrxTypes &types)
{
    return m_poller.Next_Request(types);
}

void TVRX_RTD_F::Show_Reply(bool ok, int module, const std::array<int, kInputCount> &readings)
{
    m_poller.Show_Reply(ok, module, readings);
}

void TVRX_RTD_F::Poll_Next_Module()
{
    m_poller.Poll_Next_Module();
}

bool TVRX_RTD_F::enable_BtnClick()
{
    CloseSelector();
    EmptyGrid(VRX_Read_Grid);
    if (!m_poller.Enable())
        return false;
    for (const VrxPollRow &row : m_poller.Rows())
        AppendModuleRow(VRX_Read_Grid, row.module);
    ShowHeader(VRX_Read_Grid);
    enable_Btn->setEnabled(false);
    disable_Btn->setEnabled(true);
    for (QPushButton *button :
         {vrx_change_col_B, vrx_change_row_B, vrx_change_all_B, vrx_clear_all_B})
        button->hide();
    return true;
}

void TVRX_RTD_F::disable_BtnClick()
{
    m_poller.Disable();
    enable_Btn->setEnabled(true);
    disable_Btn->setEnabled(false);
    for (QPushButton *button :
         {vrx_change_col_B, vrx_change_row_B, vrx_change_all_B, vrx_clear_all_B})
        button->show();
}

void TVRX_RTD_F::VRX_TreeViewChange(QTreeWidgetItem *node)
{
    if (m_poller.polling)
        return;
    current_node = node;
}

void TVRX_RTD_F::VRX_TreeViewClick()
{
    if (m_poller.polling)
        return;
    if (current_node) {
        const int toggled = NodeStateIndex(current_node) == kMarkOn ? kMarkOff : kMarkOn;
        if (m_poller.SetModuleState(NodeNumber(current_node), toggled)) {
            current_node->setData(0, kStateRole, toggled);
            current_node->setIcon(0, StateIcon(toggled));
        }
    }
    Refresh_VRX_Grid();
}

void TVRX_RTD_F::Refresh_VRX_Grid()
{
    selected_row = 0;
    selected_col = 0;
    CloseSelector();
    EmptyGrid(VRX_Grid);
    for (const int m : m_poller.ListedModules()) {
        AppendModuleRow(VRX_Grid, m);
        const int row = VRX_Grid->RowCount() - 1;
        for (int k = 1; k <= kInputCount; ++k)
            VRX_Grid->SetCell(k, row, InputTypeText(m_poller.vrx_input_type[size_t(k)][size_t(m)]));
    }
    ShowHeader(VRX_Grid);
}

int TVRX_RTD_F::GridModule(int row) const
{
    const int m = VRX_Grid->Cell(kModuleCol, row).toInt();
    return m >= 1 && m <= VrxPoller::kVrxModules ? m : 0;
}

bool TVRX_RTD_F::VRX_GridSelectCell(int col, int row)
{
    if (m_poller.polling)
        return true;
    vrx_setting_CB->hide();
    if (row == 0 || col == 0 || col > kInputCount)
        return true;
    const int m = GridModule(row);
    if (m == 0)
        return true;
    selected_col = col;
    selected_row = row;
    OpenSelectorOverCell(vrx_setting_CB, VRX_Grid, col, row,
                         m_poller.vrx_input_type[size_t(col)][size_t(m)]);
    return true;
}

void TVRX_RTD_F::PlaceSelector()
{
    PlaceSelectorOverCell(vrx_setting_CB, VRX_Grid, selected_col, selected_row);
}

void TVRX_RTD_F::CloseSelector()
{
    vrx_setting_CB->hidePopup();
    vrx_setting_CB->hide();
}

void TVRX_RTD_F::vrx_setting_CBChange()
{
    if (!HasRememberedCell())
        return;
    const int type = vrx_setting_CB->currentIndex();
    if (m_poller.SetInputType(GridModule(selected_row), selected_col, type))
        VRX_Grid->SetCell(selected_col, selected_row, InputTypeText(type));
}

void TVRX_RTD_F::vrx_change_col_BClick()
{
    if (HasRememberedCell() && m_poller.CopyToColumn(GridModule(selected_row), selected_col))
        Refresh_VRX_Grid();
}

void TVRX_RTD_F::vrx_change_row_BClick()
{
    if (HasRememberedCell() && m_poller.CopyToRow(GridModule(selected_row), selected_col))
        Refresh_VRX_Grid();
}

void TVRX_RTD_F::vrx_change_all_BClick()
{
    if (HasRememberedCell() && m_poller.CopyToAll(GridModule(selected_row), selected_col))
        Refresh_VRX_Grid();
}

void TVRX_RTD_F::vrx_clear_all_BClick()
{
    if (m_poller.ClearAll())
        Refresh_VRX_Grid();
}

void TVRX_RTD_F::VRX_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect)
{
    const bool label = (row == 0) != (col == 0);
    const bool input = row >= 1 && col >= 1 && col <= kInputCount;
    if (label || input)
        PaintGridTile(painter, rect, label ? kSkyBlue : kWhite, VRX_Grid->Cell(col, row));
}

void TVRX_RTD_F::VRX_Read_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect)
{
    const bool label = (row == 0) != (col == 0);
    const bool input = row >= 1 && col >= 1 && col <= kInputCount;
    if (label) {
        PaintGridTile(painter, rect, kSkyBlue, VRX_Read_Grid->Cell(col, row));
    } else if (input) {
        const QList<VrxPollRow> &rows = m_poller.Rows();
        const bool fresh = row <= rows.size() && rows[row - 1].fresh;
        PaintGridTile(painter, rect, kSilver, VRX_Read_Grid->Cell(col, row),
                      fresh ? kBlueText : QColor(Qt::black));
    }
}

void TVRX_RTD_F::ShowPollRow(int row)
{
    // Written again even where the text is the same, so that the cells are
    // repainted in the colour the fresh mark now asks for.
    const VrxPollRow &poll = m_poller.Rows()[row - 1];
    for (int k = 1; k <= kInputCount; ++k)
        VRX_Read_Grid->SetCell(k, row, poll.texts[size_t(k - 1)]);
}

void TVRX_RTD_F::SetLamp(QLabel *lamp, bool &lit, bool on)
{
    lit = on;
    lamp->setPixmap(LampPicture(on));
    lamp->setAccessibleDescription(on ? QStringLiteral("on") : QStringLiteral("off"));
}

void TVRX_RTD_F::Tx_TimerTimer()
{
    SetLamp(Tx_Led, m_txLit, false);
    Tx_Timer->stop();
}

void TVRX_RTD_F::Rx_TimerTimer()
{
    SetLamp(Rx_Led, m_rxLit, false);
    Rx_Timer->stop();
}
