#include "widgets/stringgridaccessible.h"

#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace {

// --- where a grid cell stands among the accessible rows, columns, children --

// The accessible column of grid column col: its place among the shown
// columns, or -1 for a hidden (zero-width) or missing column.
int AccessibleColumn(const StringGrid &grid, int col)
{
    if (col < 0 || col >= grid.ColCount() || grid.ColWidth(col) == 0)
        return -1;
    int column = 0;
    for (int c = 0; c < col; ++c) {
        if (grid.ColWidth(c) > 0)
            ++column;
    }
    return column;
}

// The grid column of accessible column column, or -1.
int GridColumn(const StringGrid &grid, int column)
{
    for (int c = 0; c < grid.ColCount(); ++c) {
        if (grid.ColWidth(c) > 0 && column-- == 0)
            return c;
    }
    return -1;
}

int ShownColumnCount(const StringGrid &grid)
{
    int count = 0;
    for (int c = 0; c < grid.ColCount(); ++c) {
        if (grid.ColWidth(c) > 0)
            ++count;
    }
    return count;
}

int HeaderCellCount(const StringGrid &grid)
{
    return grid.FixedRows() > 0 ? ShownColumnCount(grid) : 0;
}

// The child index of grid cell (col, row): the header cells first, then the
// other rows from the top, each from the left. -1 when the cell is not shown.
int ChildIndex(const StringGrid &grid, int col, int row)
{
    const int column = AccessibleColumn(grid, col);
    if (column < 0 || row < 0 || row >= grid.RowCount())
        return -1;
    if (row < grid.FixedRows())
        return column;
    return HeaderCellCount(grid) + (row - grid.FixedRows()) * ShownColumnCount(grid) + column;
}

bool IsCurrentDataCell(const StringGrid &grid)
{
    return grid.Row() >= grid.FixedRows() && grid.Row() < grid.RowCount() &&
           AccessibleColumn(grid, grid.Col()) >= 0;
}

class StringGridTable;

// One cell, named by its grid column and row. Everything it tells is read
// from the grid when asked.
class StringGridCell : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    StringGridCell(StringGrid *grid, int col, int row) : m_grid(grid), m_col(col), m_row(row) {}

    const StringGrid *Grid() const { return m_grid; }
    int GridCol() const { return m_col; }
    int GridRow() const { return m_row; }

    bool isValid() const override
    {
        return m_grid && m_row < m_grid->RowCount() && AccessibleColumn(*m_grid, m_col) >= 0;
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_grid ? QAccessible::queryAccessibleInterface(m_grid.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        return m_grid->Cell(m_col, m_row);
    }
    void setText(QAccessible::Text, const QString &) override {} // cells are read-only

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect cell = m_grid->CellRect(m_col, m_row);
        if (cell.isEmpty())
            return {};
        return {m_grid->mapToGlobal(cell.topLeft()), cell.size()};
    }

    QAccessible::Role role() const override
    {
        return IsHeader() ? QAccessible::ColumnHeader : QAccessible::Cell;
    }

    QAccessible::State state() const override
    {
        QAccessible::State st;
        if (!isValid()) {
            st.invalid = true;
            return st;
        }
        st.readOnly = true;
        if (m_grid->CellRect(m_col, m_row).isEmpty())
            st.invisible = true;
        if (!IsHeader()) {
            st.focusable = true;
            st.selectable = true;
            if (IsCurrent()) {
                st.selected = true;
                st.focused = m_grid->hasFocus();
            }
        }
        return st;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableCellInterface && !IsHeader())
            return static_cast<QAccessibleTableCellInterface *>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return isValid() && !IsHeader() && IsCurrent(); }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_grid ? AccessibleColumn(*m_grid, m_col) : -1; }
    int rowIndex() const override { return m_grid ? m_row - m_grid->FixedRows() : -1; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    bool IsHeader() const { return m_grid && m_row < m_grid->FixedRows(); }
    bool IsCurrent() const { return m_grid->Col() == m_col && m_grid->Row() == m_row; }

    QPointer<StringGrid> m_grid;
    int m_col;
    int m_row;
};

// The grid itself: a table whose children are its shown cells.
class StringGridTable : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit StringGridTable(StringGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~StringGridTable() override
    {
        for (const QAccessible::Id id : std::as_const(m_cells))
            QAccessible::deleteAccessibleInterface(id);
    }

    // The interface of grid cell (col, row), made on first use and kept (the
    // accessibility cache owns it; this table frees it).
    QAccessibleInterface *CellInterface(int col, int row) const
    {
        const quint64 key = (quint64(quint32(row)) << 32) | quint32(col);
        if (const QAccessible::Id id = m_cells.value(key)) {
            if (QAccessibleInterface *known = QAccessible::accessibleInterface(id))
                return known;
        }
        auto *cell = new StringGridCell(Grid(), col, row);
        m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleInterface
    int childCount() const override
    {
        const StringGrid &grid = *Grid();
        return HeaderCellCount(grid) + rowCount() * ShownColumnCount(grid);
    }

    QAccessibleInterface *child(int index) const override
    {
        const StringGrid &grid = *Grid();
        const int columns = ShownColumnCount(grid);
        if (index < 0 || index >= childCount() || columns == 0)
            return nullptr;
        const int header = HeaderCellCount(grid);
        if (index < header)
            return CellInterface(GridColumn(grid, index), 0);
        index -= header;
        return CellInterface(GridColumn(grid, index % columns), grid.FixedRows() + index / columns);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *cell = dynamic_cast<const StringGridCell *>(child);
        if (!cell || cell->Grid() != Grid())
            return -1;
        return ChildIndex(*Grid(), cell->GridCol(), cell->GridRow());
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const StringGrid *grid = Grid();
        int col = 0;
        int row = 0;
        if (!grid->CellAt(grid->mapFromGlobal(QPoint(x, y)), &col, &row))
            return nullptr;
        return CellInterface(col, row);
    }

    QAccessibleInterface *focusChild() const override
    {
        const StringGrid &grid = *Grid();
        if (!grid.hasFocus() || !IsCurrentDataCell(grid))
            return nullptr;
        return CellInterface(grid.Col(), grid.Row());
    }

    // QAccessibleTableInterface
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }

    QAccessibleInterface *cellAt(int row, int column) const override
    {
        const StringGrid &grid = *Grid();
        const int col = GridColumn(grid, column);
        if (col < 0 || row < 0 || row >= rowCount())
            return nullptr;
        return CellInterface(col, grid.FixedRows() + row);
    }

    int selectedCellCount() const override { return IsCurrentDataCell(*Grid()) ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        const StringGrid &grid = *Grid();
        if (!IsCurrentDataCell(grid))
            return {};
        return {CellInterface(grid.Col(), grid.Row())};
    }

    int columnCount() const override { return ShownColumnCount(*Grid()); }
    int rowCount() const override { return Grid()->RowCount() - Grid()->FixedRows(); }

    QString columnDescription(int column) const override
    {
        const StringGrid &grid = *Grid();
        const int col = GridColumn(grid, column);
        return grid.FixedRows() > 0 && col >= 0 ? grid.Cell(col, 0) : QString();
    }
    QString rowDescription(int) const override { return {}; }

    // The grid selects single cells only, never whole rows or columns.
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }

    void modelChange(QAccessibleTableModelChangeEvent *event) override
    {
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::ModelReset)
            return;
        // Cells are named by grid column and row, so those still shown stay
        // right; the others are gone.
        for (auto it = m_cells.begin(); it != m_cells.end();) {
            QAccessibleInterface *cell = QAccessible::accessibleInterface(it.value());
            if (cell && cell->isValid()) {
                ++it;
                continue;
            }
            if (cell)
                QAccessible::deleteAccessibleInterface(it.value());
            it = m_cells.erase(it);
        }
    }

private:
    StringGrid *Grid() const { return static_cast<StringGrid *>(widget()); }

    mutable QHash<quint64, QAccessible::Id> m_cells;
};

QList<QAccessibleInterface *> StringGridCell::columnHeaderCells() const
{
    if (!isValid() || m_grid->FixedRows() == 0)
        return {};
    auto *table = dynamic_cast<StringGridTable *>(parent());
    if (!table)
        return {};
    return {table->CellInterface(m_col, 0)};
}

QAccessibleInterface *StringGridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1StringView("StringGrid") && object && object->isWidgetType())
        return new StringGridTable(static_cast<StringGrid *>(object));
    return nullptr;
}

} // namespace

void InstallStringGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(StringGridFactory);
        return true;
    }();
    (void)installed;
}

void NotifyAccessibleCellChanged(StringGrid *grid, int col, int row)
{
    if (!QAccessible::isActive())
        return;
    const int column = AccessibleColumn(*grid, col);
    if (column < 0 || row < 0 || row >= grid->RowCount())
        return;
    if (row < grid->FixedRows()) {
        QAccessibleEvent event(grid, QAccessible::NameChanged);
        event.setChild(ChildIndex(*grid, col, row));
        QAccessible::updateAccessibility(&event);
        return;
    }
    QAccessibleTableModelChangeEvent event(grid, QAccessibleTableModelChangeEvent::DataChanged);
    event.setFirstRow(row - grid->FixedRows());
    event.setLastRow(row - grid->FixedRows());
    event.setFirstColumn(column);
    event.setLastColumn(column);
    QAccessible::updateAccessibility(&event);
}

void NotifyAccessibleShapeChanged(StringGrid *grid)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(grid, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}

void NotifyAccessibleCurrentCell(StringGrid *grid)
{
    if (!QAccessible::isActive() || !grid->hasFocus() || !IsCurrentDataCell(*grid))
        return;
    QAccessibleEvent event(grid, QAccessible::Focus);
    event.setChild(ChildIndex(*grid, grid->Col(), grid->Row()));
    QAccessible::updateAccessibility(&event);
}
