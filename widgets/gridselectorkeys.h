#pragma once

#include <QObject>

#include <optional>
#include <utility>

class QComboBox;
class StringGrid;

// The keyboard on a page grid whose input cells are edited through a
// drop-down selector laid over the chosen cell, as on the debug page (and
// the Configuration page, whose grid works the same way). The page chooses
// cells through the grid's select-cell hook, which opens the selector over
// the cell and gives it the focus; this adds, on the grid and the selector:
//
// - Tab and Shift+Tab make the next or previous input cell current, left to
//   right and row by row, as a click on it would: through the hook, so the
//   selector opens there unless the page refuses changes. From the last input
//   cell Tab, and from the first Shift+Tab, leave the grid for the next or
//   previous control as usual (the selector closes; the chosen cell stays
//   chosen for the copy buttons).
// - Escape in the selector, its list closed, closes it and gives the focus
//   back to the grid, on the chosen cell. (With the list open, Escape closes
//   the list first, as always.)
// - Enter, Return or F2 in the grid chooses its current input cell again,
//   which opens the selector on it.
//
// Input cells are columns firstCol..lastCol of rows 1 and below; row 0 is
// the header. The object is a child of the grid and filters the events of
// both widgets.
// Lays selector over cell (col, row) of grid, in the coordinates of the
// selector's parent, so that it covers the cell exactly.
void PlaceSelectorOverCell(QComboBox *selector, const StringGrid *grid, int col, int row);

// Opens selector over that cell showing item index, named for assistive
// technology after the cell ("Module 5, INPUT 3": the row's label and the
// input), with the focus.
void OpenSelectorOverCell(QComboBox *selector, const StringGrid *grid, int col, int row, int index);

class GridSelectorKeys : public QObject
{
public:
    GridSelectorKeys(StringGrid *grid, QComboBox *selector, int firstCol, int lastCol);

    // The input cell after (step +1) or before (step -1) cell (col, row), as
    // (col, row); none past the last or before the first.
    std::optional<std::pair<int, int>> NeighbourCell(int col, int row, int step) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool TabKey(QObject *watched, QEvent *event, int step);

    StringGrid *m_grid;
    QComboBox *m_selector;
    int m_firstCol;
    int m_lastCol;
};
