#include "widgets/gridselectorkeys.h"

#include "widgets/stringgrid.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>

namespace {

// Row 0 is the header of the page grids; input rows start below it.
constexpr int kFirstInputRow = 1;

} // namespace

void PlaceSelectorOverCell(QComboBox *selector, const StringGrid *grid, int col, int row)
{
    const QRect cell = grid->CellRect(col, row);
    const QWidget *parent = selector->parentWidget();
    selector->setGeometry(
        QRect(parent->mapFromGlobal(grid->mapToGlobal(cell.topLeft())), cell.size()));
}

void OpenSelectorOverCell(QComboBox *selector, const StringGrid *grid, int col, int row, int index)
{
    PlaceSelectorOverCell(selector, grid, col, row);
    selector->show();
    selector->raise();
    selector->setCurrentIndex(index);
    selector->setAccessibleName(QStringLiteral("%1, INPUT %2").arg(grid->Cell(0, row)).arg(col));
    selector->setFocus();
}

GridSelectorKeys::GridSelectorKeys(StringGrid *grid, QComboBox *selector, int firstCol, int lastCol)
    : QObject(grid), m_grid(grid), m_selector(selector), m_firstCol(firstCol), m_lastCol(lastCol)
{
    grid->installEventFilter(this);
    selector->installEventFilter(this);
}

std::optional<std::pair<int, int>> GridSelectorKeys::NeighbourCell(int col, int row, int step) const
{
    const int lastRow = m_grid->RowCount() - 1;
    if (lastRow < kFirstInputRow)
        return std::nullopt;
    if (row < kFirstInputRow) {
        if (step > 0)
            return std::pair{m_firstCol, kFirstInputRow};
        return std::nullopt;
    }
    if (step > 0) {
        if (col < m_firstCol)
            return std::pair{m_firstCol, row};
        if (col < m_lastCol)
            return std::pair{col + 1, row};
        if (row < lastRow)
            return std::pair{m_firstCol, row + 1};
        return std::nullopt;
    }
    if (col > m_lastCol)
        return std::pair{m_lastCol, row};
    if (col > m_firstCol)
        return std::pair{col - 1, row};
    if (row > kFirstInputRow)
        return std::pair{m_lastCol, row - 1};
    return std::nullopt;
}

bool GridSelectorKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Tab:
        if (modifiers == Qt::NoModifier)
            return TabKey(watched, event, +1);
        if (modifiers == Qt::ShiftModifier) // some platforms keep Tab with Shift
            return TabKey(watched, event, -1);
        return false;
    case Qt::Key_Backtab:
        return TabKey(watched, event, -1);
    case Qt::Key_Escape:
        if (watched != m_selector || modifiers != Qt::NoModifier || m_selector->view()->isVisible())
            return false;
        m_grid->setFocus(Qt::OtherFocusReason);
        m_selector->hide();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2: {
        if (watched != m_grid || modifiers != Qt::NoModifier)
            return false;
        const int col = m_grid->Col();
        const int row = m_grid->Row();
        if (row < kFirstInputRow || col < m_firstCol || col > m_lastCol)
            return false;
        m_grid->SetCurrentCell(col, row);
        return true;
    }
    default:
        return false;
    }
}

bool GridSelectorKeys::TabKey(QObject *watched, QEvent *event, int step)
{
    const auto cell = NeighbourCell(m_grid->Col(), m_grid->Row(), step);
    if (cell) {
        m_grid->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        m_grid->SetCurrentCell(cell->first, cell->second);
        return true;
    }
    if (watched != m_selector)
        return false; // the grid passes the focus on as usual
    // Past the edge from the selector: the focus leaves from the grid, so
    // that it lands on the control after (or before) the grid.
    m_grid->setFocus(Qt::OtherFocusReason);
    m_selector->hide();
    QCoreApplication::sendEvent(m_grid, event);
    return true;
}
