#pragma once

class StringGrid;

// How a StringGrid shows itself to assistive technology (a screen reader, or
// a GUI test from outside): as a table, the way Qt's QTableView does, through
// QAccessibleTableInterface, with one child per cell that carries the cell's
// text and implements QAccessibleTableCellInterface.
//
// What a user sees is what is told: the columns of width 0 hold data no one
// sees and are left out, so accessible column c is the c-th shown column. The
// fixed row, when the grid has one, is the column header (cells of role
// ColumnHeader, ahead of all other children); accessible row r is the grid's
// r-th row below it. Cell texts are read from the grid when asked, never
// copied. The current cell counts as the one selected cell, and as the focus
// while the grid has the keyboard focus.
//
// The grid tells of its changes as a QTableView would: a changed cell as a
// DataChanged table-model change, a changed shape (rows, columns, widths, the
// fixed row) as a ModelReset, a new current cell as a Focus event on it.

// Registers the accessibility factory for StringGrid (once per process; the
// grid's constructor calls it).
void InstallStringGridAccessibility();

// The grid's change notices; each does nothing while no assistive technology
// listens (QAccessible::isActive()).
void NotifyAccessibleCellChanged(StringGrid *grid, int col, int row);
// Also for a change of every cell at once.
void NotifyAccessibleShapeChanged(StringGrid *grid);
void NotifyAccessibleCurrentCell(StringGrid *grid);
