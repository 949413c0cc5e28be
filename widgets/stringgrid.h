#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;

// A grid of text cells with its own painting, addressed (column, row) from 0.
//
// It is what the pages need from a classic string grid and nothing more: a
// column count and a width per column (a width of 0 hides the column, which
// then keeps data that no one sees), a row count with one default height,
// at most one fixed row that stays at the top while the other rows scroll,
// no fixed column, no grid lines (cells touch), no in-place editing and no
// range selection. One cell is current; the mouse and the keyboard move it,
// and an optional hook may refuse the move.
//
// Painting: every visible cell is first painted by the grid itself (filled
// with the fixed colour or the background colour, the current cell in the
// highlight colour while the grid has focus, the text 2 pixels right of and
// below the cell's top-left corner), then handed to the draw-cell hook with
// the same rectangle. The area beyond the last column and row shows the
// background colour. Only cells that intersect the exposed area are painted.
//
// Scrolling is by whole rows (and whole columns horizontally): TopRow is the
// first scrollable row shown under the fixed row, LeftCol the first column.
// Every change of either emits TopLeftChanged.
//
// Assistive technology reads the grid as a table of its shown cells, with the
// fixed row as column header (stringgridaccessible.h).
class StringGrid : public QAbstractScrollArea
{
    Q_OBJECT

public:
    // Called after the grid's own painting of a cell, with the painter clipped
    // to that cell and the cell's rectangle in viewport coordinates.
    using DrawCellHook =
        std::function<void(QPainter &painter, int col, int row, const QRect &rect)>;
    // Called before (col, row) becomes the current cell; false refuses it.
    using SelectCellHook = std::function<bool(int col, int row)>;

    static constexpr int kDefaultColWidth = 64;
    static constexpr int kDefaultRowHeight = 21;

    explicit StringGrid(QWidget *parent = nullptr);

    int ColCount() const { return static_cast<int>(m_colWidths.size()); }
    void SetColCount(int count);
    int RowCount() const { return static_cast<int>(m_cells.size()); }
    // Rows added are empty; rows removed lose their texts. The fixed row count
    // drops when it would leave no scrollable row.
    void SetRowCount(int count);
    int FixedRows() const { return m_fixedRows; }
    // 0 or 1; 1 only while there are at least two rows (ignored otherwise).
    void SetFixedRows(int count);

    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    int DefaultRowHeight() const { return m_rowHeight; }
    void SetDefaultRowHeight(int height);
    // Kept for the pages that name it; only 0 (cells touching) is drawn.
    int GridLineWidth() const { return 0; }

    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString &text);
    // Empties every cell; the row and column counts stay.
    void ClearCells();

    QColor Color() const { return m_color; }
    void SetColor(const QColor &color);
    QColor FixedColor() const { return m_fixedColor; }
    void SetFixedColor(const QColor &color);

    void SetDrawCellHook(DrawCellHook hook);
    void SetSelectCellHook(SelectCellHook hook);

    // The current cell. SetCurrentCell asks the select-cell hook first and
    // scrolls the cell into view; it returns false when the cell is refused
    // or outside the grid (fixed rows and hidden columns cannot be current).
    int Col() const { return m_col; }
    int Row() const { return m_row; }
    bool SetCurrentCell(int col, int row);

    int TopRow() const { return m_topRow; }
    void SetTopRow(int row);
    int LeftCol() const { return m_leftCol; }
    void SetLeftCol(int col);
    // Scrollable rows that fit completely under the fixed row.
    int VisibleRowCount() const;

    // The cell's rectangle in this widget's coordinates (frame included),
    // clipped to the visible cell area; empty when no part of it is shown.
    QRect CellRect(int col, int row) const;
    // The cell under a point in this widget's coordinates; false outside cells.
    bool CellAt(const QPoint &pos, int *col, int *row) const;

    QSize sizeHint() const override;

signals:
    void TopLeftChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Geometry in viewport coordinates, unclipped; x is -1 for columns left
    // of LeftCol and y is -1 for rows above TopRow.
    int ColX(int col) const;
    int RowY(int row) const;
    QRect ViewportCellRect(int col, int row) const;
    bool ViewportCellAt(const QPoint &pos, int *col, int *row) const;
    int LastFullyVisibleCol() const;
    int MaxTopRow() const;
    int MaxLeftCol() const;
    void UpdateScrollBars();
    void ScrollIntoView(int col, int row);
    // The next selectable column from col in direction step (+1/-1), or col.
    int NextVisibleCol(int col, int step) const;
    void PaintCell(QPainter &painter, int col, int row, const QRect &rect);

    QList<int> m_colWidths;
    QList<QStringList> m_cells; // m_cells[row][col]
    int m_fixedRows = 0;
    int m_rowHeight = kDefaultRowHeight;
    int m_topRow = 0;
    int m_leftCol = 0;
    int m_col = 0;
    int m_row = 0;
    bool m_syncingScrollBars = false;
    QColor m_color;
    QColor m_fixedColor;
    DrawCellHook m_drawCell;
    SelectCellHook m_selectCell;
};

// The tile painting shared by the page grids: the cell rectangle shrunk by 1
// pixel at the left and top and 2 at the right and bottom, filled, and the
// text drawn 2 pixels right of and below the tile's corner. Neighbouring tiles
// thus stand 3 pixels apart, and the grid's colour shows in the gaps.
void PaintGridTile(QPainter &painter, const QRect &cell, const QColor &fill, const QString &text,
                   const QColor &textColor = Qt::black);
