#include "metering/tmetering_f.h"

#include "metering/busstatus.h"

#include "widgets/pagelayout.h"
#include "widgets/palette.h"
#include "widgets/piegauge.h"
#include "widgets/stateimages.h"
#include "widgets/stringgrid.h"

#include <QFrame>
#include <QHelpEvent>
#include <QPushButton>
#include <QToolTip>
#include <QTreeWidget>

namespace {

// Grid shape: column 0 the module, 1..8 the inputs, 9 the hidden address,
// 10 the hidden "read last" mark.
constexpr int kGridCols = 11;
constexpr int kAddressCol = 9;
constexpr int kReadLastCol = 10;
constexpr int kColWidth = 64;
const QString kReadLast = QStringLiteral("1");
const QString kNotReadLast = QStringLiteral("0");

const QColor kBlueText{0, 0, 255};

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setGeometry(236, 8, 137, 25);
    return button;
}

} // namespace

TMetering_F::TMetering_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Metering_F1"));
    SetBackground(this, kMediumGrey);
    SetDialogFont(this);

    metering_T = new QTreeWidget(this);
    metering_T->setObjectName(QStringLiteral("metering_T"));
    SetUpModuleListTree(metering_T);

    Metering_Grid = new StringGrid(this);
    Metering_Grid->setObjectName(QStringLiteral("Metering_Grid"));
    Metering_Grid->SetColCount(kGridCols);
    for (int c = 0; c < kGridCols; ++c)
        Metering_Grid->SetColWidth(c, c >= kAddressCol ? 0 : kColWidth);
    Metering_Grid->SetDefaultRowHeight(StringGrid::kDefaultRowHeight);
    Metering_Grid->SetRowCount(1);
    Metering_Grid->SetColor(kGray);
    Metering_Grid->SetFixedColor(kMediumGrey);
    Metering_Grid->SetDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect) {
        Metering_GridDrawCell(painter, col, row, rect);
    });
    // Tooltip events go to the viewport, which lies under the cells.
    Metering_Grid->viewport()->installEventFilter(this);

    metering_P = new QFrame(this);
    metering_P->setObjectName(QStringLiteral("metering_P"));
    SetBackground(metering_P, kSilver);

    CGauge1 = new PieGauge(metering_P);
    CGauge1->setObjectName(QStringLiteral("CGauge1"));
    CGauge1->setGeometry(0, 1, 40, 40);
    CGauge1->SetBackColor(kWhite);
    CGauge1->SetForeColor(kSkyBlue);
    SetBackground(CGauge1, kSilver);
    CGauge1->hide();

    start_B = MakeButton(metering_P, "start_B", QStringLiteral("START Metering"));
    stop_B = MakeButton(metering_P, "stop_B", QStringLiteral("STOP Metering"));
    stop_B->hide();
    // Nothing is active until the page has been prepared.
    start_B->setEnabled(false);

    resize(786, 439);
}

void TMetering_F::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOutTreePage(this, metering_T, Metering_Grid, metering_P);
}

void TMetering_F::Fill_Metering_Page(const std::array<int, kModuleCount + 1> &module_active)
{
    metering_T->clear();
    Metering_Grid->SetFixedRows(0);
    start_B->setEnabled(false);
    start_B->show();
    stop_B->hide();
    Metering_Grid->ClearCells();
    Metering_Grid->SetRowCount(1);
    m_rowHints.clear();

    int rows = 1;
    for (int m = 1; m <= kModuleCount; ++m) {
        if (module_active[size_t(m)] != kMarkOn)
            continue;
        const QString name = QStringLiteral("Module %1").arg(m);
        auto *node = new QTreeWidgetItem(metering_T, QStringList{name});
        node->setIcon(0, StateIcon(kMarkOn));
        node->setData(0, Qt::UserRole, m);
        Metering_Grid->SetRowCount(rows + 1);
        Metering_Grid->SetCell(0, rows, name);
        Metering_Grid->SetCell(kAddressCol, rows, QString::number(m));
        Metering_Grid->SetCell(kReadLastCol, rows, kNotReadLast);
        ++rows;
    }
    if (rows > 1) {
        for (int k = 1; k <= kInputCount; ++k)
            Metering_Grid->SetCell(k, 0, QStringLiteral("INPUT %1").arg(k));
        Metering_Grid->SetFixedRows(1);
        start_B->setEnabled(true);
    }
}

void TMetering_F::Set_Gauge_Range(int period)
{
    CGauge1->SetRange(0, period);
    CGauge1->SetProgress(0);
}

void TMetering_F::Set_Gauge_Progress(int tick)
{
    CGauge1->SetProgress(tick);
}

void TMetering_F::RepaintRow(int row)
{
    for (int c = 1; c <= kInputCount; ++c)
        Metering_Grid->SetCell(c, row, Metering_Grid->Cell(c, row));
}

void TMetering_F::Show_Readings(int m, const ReadingTexts &readings)
{
    if (m == 0) {
        // Only after the last module of a period has been read: its row is
        // the last one.
        const int last = Metering_Grid->RowCount() - 1;
        Metering_Grid->SetCell(kReadLastCol, last, kNotReadLast);
        RepaintRow(last);
        return;
    }
    bool unmarked = false;
    bool written = false;
    const QString address = QString::number(m);
    for (int row = 1; row < Metering_Grid->RowCount() && !(unmarked && written); ++row) {
        if (Metering_Grid->Cell(kReadLastCol, row) == kReadLast) {
            Metering_Grid->SetCell(kReadLastCol, row, kNotReadLast);
            RepaintRow(row);
            unmarked = true;
        } else if (Metering_Grid->Cell(kAddressCol, row) == address) {
            Metering_Grid->SetCell(kReadLastCol, row, kReadLast);
            for (int k = 1; k <= kInputCount; ++k)
                Metering_Grid->SetCell(k, row, readings[size_t(k - 1)]);
            written = true;
        }
    }
}

void TMetering_F::Show_Bus_Status(const BusStatus &status)
{
    m_rowHints.resize(Metering_Grid->RowCount());
    for (int row = 1; row < Metering_Grid->RowCount(); ++row)
        m_rowHints[row] = status.ModuleHint(Metering_Grid->Cell(kAddressCol, row).toInt());
    for (int i = 0; i < metering_T->topLevelItemCount(); ++i) {
        QTreeWidgetItem *node = metering_T->topLevelItem(i);
        const int m = node->data(0, Qt::UserRole).toInt();
        const QString hint = status.ModuleHint(m);
        if (node->toolTip(0) != hint)
            node->setToolTip(0, hint);
        // Every other case keeps the described picture: the listed modules
        // are all on (mark 3), whatever their last read did.
        const bool silent = status.Module(m).state == ModuleAnswering::NotAnswering;
        const int image = silent ? kStateNotAnswering : kMarkOn;
        if (node->data(0, Qt::UserRole + 1).toInt() != image) {
            node->setIcon(0, StateIcon(image));
            node->setData(0, Qt::UserRole + 1, image);
        }
    }
}

QString TMetering_F::RowHeaderHint(int row) const
{
    return row >= 1 && row < m_rowHints.size() ? m_rowHints[row] : QString();
}

bool TMetering_F::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Metering_Grid->viewport() || event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    int col = -1;
    int row = -1;
    const QPoint at = Metering_Grid->viewport()->mapTo(Metering_Grid, help->pos());
    const QString hint =
        Metering_Grid->CellAt(at, &col, &row) && col == 0 ? RowHeaderHint(row) : QString();
    if (hint.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), hint, Metering_Grid->viewport());
    return true;
}

void TMetering_F::start_BClick()
{
    start_B->hide();
    stop_B->show();
    CGauge1->show();
}

void TMetering_F::stop_BClick()
{
    start_B->show();
    stop_B->hide();
    CGauge1->hide();
}

void TMetering_F::Metering_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect)
{
    const bool header = (row == 0) != (col == 0);
    const bool input = row >= 1 && col >= 1 && col <= kInputCount;
    if (header) {
        PaintGridTile(painter, rect, kSkyBlue, Metering_Grid->Cell(col, row));
    } else if (input) {
        const bool readLast = Metering_Grid->Cell(kReadLastCol, row) == kReadLast;
        PaintGridTile(painter, rect, kSilver, Metering_Grid->Cell(col, row),
                      readLast ? kBlueText : QColor(Qt::black));
    }
}

bool TMetering_F::Metering_GridSelectCell(int, int)
{
    return false;
}
