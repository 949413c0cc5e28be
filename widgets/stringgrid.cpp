#include "widgets/stringgrid.h"

#include "widgets/stringgridaccessible.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

// Text sits 2 pixels right of and below the cell's top-left corner.
constexpr int kTextInset = 2;

QStringList EmptyRow(int cols)
{
    QStringList row;
    row.reserve(cols);
    for (int c = 0; c < cols; ++c)
        row.append(QString());
    return row;
}

} // namespace

StringGrid::StringGrid(QWidget *parent) : QAbstractScrollArea(parent)
{
    InstallStringGridAccessibility();
    m_color = palette().color(QPalette::Base);
    m_fixedColor = palette().color(QPalette::Button);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The grid paints every pixel of the viewport itself.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    SetColCount(5);
    SetRowCount(1);
}

void StringGrid::SetColCount(int count)
{
    count = std::max(count, 1);
    m_colWidths.resize(count, kDefaultColWidth);
    for (QStringList &row : m_cells) {
        while (row.size() > count)
            row.removeLast();
        while (row.size() < count)
            row.append(QString());
    }
    m_leftCol = std::min(m_leftCol, count - 1);
    m_col = std::min(m_col, count - 1);
    UpdateScrollBars();
    viewport()->update();
    NotifyAccessibleShapeChanged(this);
}

void StringGrid::SetRowCount(int count)
{
    count = std::max(count, 1);
    while (m_cells.size() > count)
        m_cells.removeLast();
    while (m_cells.size() < count)
        m_cells.append(EmptyRow(ColCount()));
    if (m_fixedRows >= count)
        m_fixedRows = 0;
    m_row = std::clamp(m_row, m_fixedRows, count - 1);
    UpdateScrollBars();
    viewport()->update();
    NotifyAccessibleShapeChanged(this);
}

void StringGrid::SetFixedRows(int count)
{
    count = std::clamp(count, 0, 1);
    if (count >= RowCount() || count == m_fixedRows)
        return;
    m_fixedRows = count;
    m_row = std::max(m_row, m_fixedRows);
    UpdateScrollBars();
    viewport()->update();
    NotifyAccessibleShapeChanged(this);
}

int StringGrid::ColWidth(int col) const
{
    return col >= 0 && col < ColCount() ? m_colWidths[col] : 0;
}

void StringGrid::SetColWidth(int col, int width)
{
    if (col < 0 || col >= ColCount())
        return;
    m_colWidths[col] = std::max(width, 0);
    UpdateScrollBars();
    viewport()->update();
    NotifyAccessibleShapeChanged(this);
}

void StringGrid::SetDefaultRowHeight(int height)
{
    m_rowHeight = std::max(height, 1);
    UpdateScrollBars();
    viewport()->update();
}

QString StringGrid::Cell(int col, int row) const
{
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        return {};
    return m_cells[row][col];
}

void StringGrid::SetCell(int col, int row, const QString &text)
{
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        return;
    m_cells[row][col] = text;
    const QRect rect = ViewportCellRect(col, row);
    if (!rect.isEmpty())
        viewport()->update(rect);
    NotifyAccessibleCellChanged(this, col, row);
}

void StringGrid::ClearCells()
{
    for (QStringList &row : m_cells)
        row = EmptyRow(ColCount());
    viewport()->update();
    NotifyAccessibleShapeChanged(this);
}

void StringGrid::SetColor(const QColor &color)
{
    m_color = color;
    viewport()->update();
}

void StringGrid::SetFixedColor(const QColor &color)
{
    m_fixedColor = color;
    viewport()->update();
}

void StringGrid::SetDrawCellHook(DrawCellHook hook)
{
    m_drawCell = std::move(hook);
    viewport()->update();
}

void StringGrid::SetSelectCellHook(SelectCellHook hook)
{
    m_selectCell = std::move(hook);
}

bool StringGrid::SetCurrentCell(int col, int row)
{
    if (col < 0 || col >= ColCount() || row < m_fixedRows || row >= RowCount())
        return false;
    if (ColWidth(col) == 0)
        return false;
    if (m_selectCell && !m_selectCell(col, row))
        return false;
    const QRect before = ViewportCellRect(m_col, m_row);
    m_col = col;
    m_row = row;
    viewport()->update(before);
    viewport()->update(ViewportCellRect(m_col, m_row));
    ScrollIntoView(col, row);
    NotifyAccessibleCurrentCell(this);
    return true;
}

void StringGrid::SetTopRow(int row)
{
    row = std::clamp(row, m_fixedRows, MaxTopRow());
    if (row == m_topRow)
        return;
    m_topRow = row;
    UpdateScrollBars();
    viewport()->update();
    emit TopLeftChanged();
}

void StringGrid::SetLeftCol(int col)
{
    col = std::clamp(col, 0, MaxLeftCol());
    if (col == m_leftCol)
        return;
    m_leftCol = col;
    UpdateScrollBars();
    viewport()->update();
    emit TopLeftChanged();
}

int StringGrid::VisibleRowCount() const
{
    const int room = viewport()->height() - m_fixedRows * m_rowHeight;
    const int fit = std::max(room / m_rowHeight, 0);
    return std::clamp(RowCount() - m_topRow, 0, fit);
}

QRect StringGrid::CellRect(int col, int row) const
{
    const QRect rect = ViewportCellRect(col, row) & viewport()->rect();
    if (rect.isEmpty())
        return {};
    return rect.translated(viewport()->geometry().topLeft());
}

bool StringGrid::CellAt(const QPoint &pos, int *col, int *row) const
{
    return ViewportCellAt(pos - viewport()->geometry().topLeft(), col, row);
}

QSize StringGrid::sizeHint() const
{
    return {400, 200};
}

int StringGrid::ColX(int col) const
{
    if (col < m_leftCol || col >= ColCount())
        return -1;
    int x = 0;
    for (int c = m_leftCol; c < col; ++c)
        x += m_colWidths[c];
    return x;
}

int StringGrid::RowY(int row) const
{
    if (row < 0 || row >= RowCount())
        return -1;
    if (row < m_fixedRows)
        return row * m_rowHeight;
    if (row < m_topRow)
        return -1;
    return (m_fixedRows + row - m_topRow) * m_rowHeight;
}

QRect StringGrid::ViewportCellRect(int col, int row) const
{
    const int x = ColX(col);
    const int y = RowY(row);
    if (x < 0 || y < 0)
        return {};
    return {x, y, m_colWidths[col], m_rowHeight};
}

bool StringGrid::ViewportCellAt(const QPoint &pos, int *col, int *row) const
{
    if (pos.x() < 0 || pos.y() < 0)
        return false;
    const int fixedHeight = m_fixedRows * m_rowHeight;
    const int r = pos.y() < fixedHeight ? pos.y() / m_rowHeight
                                        : m_topRow + (pos.y() - fixedHeight) / m_rowHeight;
    if (r >= RowCount())
        return false;
    int x = 0;
    for (int c = m_leftCol; c < ColCount(); ++c) {
        x += m_colWidths[c];
        if (pos.x() < x) {
            *col = c;
            *row = r;
            return true;
        }
    }
    return false;
}

int StringGrid::MaxTopRow() const
{
    const int room = viewport()->height() - m_fixedRows * m_rowHeight;
    const int fit = std::max(room / m_rowHeight, 1);
    return std::max(m_fixedRows, RowCount() - fit);
}

int StringGrid::MaxLeftCol() const
{
    // The smallest first column from which all remaining columns fit.
    int width = 0;
    int left = ColCount();
    while (left > 0 && width + m_colWidths[left - 1] <= viewport()->width()) {
        --left;
        width += m_colWidths[left];
    }
    return std::min(left, ColCount() - 1);
}

void StringGrid::UpdateScrollBars()
{
    m_syncingScrollBars = true;
    const int room = viewport()->height() - m_fixedRows * m_rowHeight;
    const int maxTop = MaxTopRow();
    const int maxLeft = MaxLeftCol();
    verticalScrollBar()->setRange(0, maxTop - m_fixedRows);
    verticalScrollBar()->setPageStep(std::max(room / m_rowHeight, 1));
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, maxLeft);
    horizontalScrollBar()->setPageStep(1);
    horizontalScrollBar()->setSingleStep(1);
    m_syncingScrollBars = false;

    // A taller viewport or fewer rows may leave the view scrolled too far.
    const int top = std::clamp(m_topRow, m_fixedRows, maxTop);
    const int left = std::clamp(m_leftCol, 0, maxLeft);
    const bool moved = top != m_topRow || left != m_leftCol;
    m_topRow = top;
    m_leftCol = left;
    m_syncingScrollBars = true;
    verticalScrollBar()->setValue(m_topRow - m_fixedRows);
    horizontalScrollBar()->setValue(m_leftCol);
    m_syncingScrollBars = false;
    if (moved) {
        viewport()->update();
        emit TopLeftChanged();
    }
}

void StringGrid::scrollContentsBy(int, int)
{
    if (m_syncingScrollBars)
        return;
    SetTopRow(m_fixedRows + verticalScrollBar()->value());
    SetLeftCol(horizontalScrollBar()->value());
}

void StringGrid::ScrollIntoView(int col, int row)
{
    if (row >= m_fixedRows) {
        const int fit =
            std::max((viewport()->height() - m_fixedRows * m_rowHeight) / m_rowHeight, 1);
        if (row < m_topRow)
            SetTopRow(row);
        else if (row >= m_topRow + fit)
            SetTopRow(row - fit + 1);
    }
    if (col < m_leftCol) {
        SetLeftCol(col);
    } else {
        int left = m_leftCol;
        int right = ColX(col) + m_colWidths[col];
        while (left < col && right > viewport()->width()) {
            right -= m_colWidths[left];
            ++left;
        }
        SetLeftCol(left);
    }
}

int StringGrid::NextVisibleCol(int col, int step) const
{
    for (int c = col + step; c >= 0 && c < ColCount(); c += step) {
        if (m_colWidths[c] > 0)
            return c;
    }
    return col;
}

void StringGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    int col = 0;
    int row = 0;
    if (ViewportCellAt(event->position().toPoint(), &col, &row))
        SetCurrentCell(col, row);
}

void StringGrid::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int page = std::max(VisibleRowCount(), 1);
    int col = m_col;
    int row = m_row;
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max(row - 1, m_fixedRows);
        break;
    case Qt::Key_Down:
        row = std::min(row + 1, RowCount() - 1);
        break;
    case Qt::Key_Left:
        col = NextVisibleCol(col, -1);
        break;
    case Qt::Key_Right:
        col = NextVisibleCol(col, +1);
        break;
    case Qt::Key_PageUp:
        row = std::max(row - page, m_fixedRows);
        break;
    case Qt::Key_PageDown:
        row = std::min(row + page, RowCount() - 1);
        break;
    case Qt::Key_Home:
        if (ctrl)
            row = m_fixedRows;
        else
            col = NextVisibleCol(-1, +1);
        break;
    case Qt::Key_End:
        if (ctrl)
            row = RowCount() - 1;
        else
            col = NextVisibleCol(ColCount(), -1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (col != m_col || row != m_row)
        SetCurrentCell(col, row);
    event->accept();
}

void StringGrid::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void StringGrid::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update(ViewportCellRect(m_col, m_row));
    NotifyAccessibleCurrentCell(this);
}

void StringGrid::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update(ViewportCellRect(m_col, m_row));
}

void StringGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    painter.fillRect(exposed, m_color);

    const int width = viewport()->width();
    const int height = viewport()->height();
    auto paintRow = [&](int row) {
        const int y = RowY(row);
        if (y < 0 || y >= height || y + m_rowHeight <= exposed.top() || y > exposed.bottom())
            return;
        int x = 0;
        for (int col = m_leftCol; col < ColCount() && x < width; ++col) {
            const QRect rect(x, y, m_colWidths[col], m_rowHeight);
            x += m_colWidths[col];
            if (rect.width() > 0 && rect.intersects(exposed))
                PaintCell(painter, col, row, rect);
        }
    };
    for (int row = 0; row < m_fixedRows; ++row)
        paintRow(row);
    for (int row = m_topRow; row < RowCount() && RowY(row) < height; ++row)
        paintRow(row);
}

void StringGrid::PaintCell(QPainter &painter, int col, int row, const QRect &rect)
{
    painter.save();
    painter.setClipRect(rect);
    const bool fixed = row < m_fixedRows;
    const bool highlighted = !fixed && hasFocus() && col == m_col && row == m_row;
    QColor fill = fixed ? m_fixedColor : m_color;
    QColor text = palette().color(QPalette::Text);
    if (highlighted) {
        fill = palette().color(QPalette::Highlight);
        text = palette().color(QPalette::HighlightedText);
    }
    painter.fillRect(rect, fill);
    const QString &cell = m_cells[row][col];
    if (!cell.isEmpty()) {
        painter.setPen(text);
        painter.drawText(rect.adjusted(kTextInset, kTextInset, 0, 0),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, cell);
    }
    if (m_drawCell) {
        painter.setPen(palette().color(QPalette::Text));
        m_drawCell(painter, col, row, rect);
    }
    painter.restore();
}

void PaintGridTile(QPainter &painter, const QRect &cell, const QColor &fill, const QString &text,
                   const QColor &textColor)
{
    const QRect tile = cell.adjusted(1, 1, -2, -2);
    if (tile.isEmpty())
        return;
    painter.fillRect(tile, fill);
    if (text.isEmpty())
        return;
    painter.setPen(textColor);
    painter.drawText(tile.adjusted(kTextInset, kTextInset, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}
