#pragma once

#include "modules/modulescan.h"

#include <QList>
#include <QWidget>

class ModuleTable;
class QAction;
class QFrame;
class QMenu;
class QPainter;
class QPushButton;
class QTreeWidget;
class StringGrid;

// The Miscellaneous Info page: a tree of the active modules, a grid with one
// row per active module that a scan fills with its device type, firmware
// version and notch filter frequency, and below the grid the buttons "Scan"
// and "Set Frequency". The list comes from the module table's module_active
// (the main window runs UpdateActiveModules before the two rebuilds); what a
// scan reads lives only in the grid and goes back into no table.
//
// Grid: row 0 is the heading ("Device Type", "Firmware Version", "Notch
// Filter Frequency" in columns 1 to 3, a fixed row) once at least one module
// is listed, and one empty ordinary row otherwise. Each further row holds
// "Module %i" in column 0, the three scan texts in columns 1 to 3 (empty
// until a scan), the address in the hidden column 4 and "0" in the hidden
// column 5. Every operation finds a row's module through column 4.
//
// The page owns the popup menu of "Set Frequency" (Freq_Menu, with its items
// Set10Hz1, Set50Hz1, Set60Hz1) and handles its own buttons; the main window
// only calls RefreshModuleTree and RefreshModuleInfoGrid when the page is
// selected. The bus goes through the guarded Protocol on the table's
// bus_target; the scan and the command block the user-interface thread
// under a progress box over the page's window (see TMessageBoxF::SetProgress
// for what the thread does meanwhile).
class MiscInfoPage : public QWidget
{
    Q_OBJECT

public:
    explicit MiscInfoPage(ModuleTable &table, QWidget *parent = nullptr);

    // Rebuilds freq_T: one node "Module %i" with the green dot per active
    // module, in ascending address order, carrying the address.
    void RefreshModuleTree();
    // Rebuilds Freq_Grid from module_active; empties the scan columns.
    void RefreshModuleInfoGrid();

    // "Scan": draws the window, then reads the three identity registers of
    // every listed module under the progress box "Scanning Modules" (maximum
    // the number of module rows) and writes their texts into the row.
    void scan_BClick();
    // "Set Frequency": opens Freq_Menu with its top left corner at the
    // screen position of the button's top left corner.
    void freq_BClick();
    void Set10Hz1Click();
    void Set50Hz1Click();
    void Set60Hz1Click();
    // The whole notch filter command: the warning "Please Read Carefully"
    // (OK and Cancel); on OK only, the command for hz to every listed module
    // under the progress box "Setting Frequency", a scan, and the message
    // "Frequency Change". Cancel or Escape changes nothing and sends nothing.
    // hz is 10, 50 or 60; any other value does nothing at all.
    void SetNotchFrequency(int hz);
    // Paints one cell: column 0 and row 0 sky blue, columns 1 to 3 of the
    // module rows silver, black text; the hidden columns not at all.
    void Freq_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect);

    // The addresses of the grid's module rows, rows 1 to last, from column 4
    // (0 for a row whose column 4 holds no module address).
    QList<int> GridAddresses() const;

    // The warning shown before a notch filter change.
    static QString NotchWarningText();

    QTreeWidget *freq_T = nullptr;
    StringGrid *Freq_Grid = nullptr;
    QFrame *freq_P = nullptr;
    QPushButton *scan_B = nullptr;
    QPushButton *freq_B = nullptr;
    QMenu *Freq_Menu = nullptr;
    QAction *Set10Hz1 = nullptr;
    QAction *Set50Hz1 = nullptr;
    QAction *Set60Hz1 = nullptr;

signals:
    // A scan has ended: the bus port was opened (or failed to open) for it,
    // so the main window can say on com_P why the port cannot be opened.
    void scanned();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ModuleTable &m_table;
};
