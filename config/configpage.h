#pragma once

#include "result/result.h"

#include <QList>
#include <QWidget>

class ConfigTree;
class ModuleTable;
class QComboBox;
class QFrame;
class QPainter;
class QPushButton;
class QTreeWidgetItem;
class StringGrid;

// The Configuration page: the module tree, the grid of input types, the type
// selector over the chosen cell and the four copy buttons. It edits three
// parts of the module table it is given: input_type, module_state and
// group_state; while metering_on is set it changes none of them.
//
// The grid lists the visible modules (group expanded, module selected) in
// ascending address order: row 0 is the header, each further row one module
// with "Module %i" in column 0, the type texts of inputs 1..8 in columns 1..8
// and the address in the hidden column 9, through which every operation finds
// the row's module.
//
// What the main window calls: BuildConfigTree once while it is built (before
// the preferences are read), RefreshConfigGrid after a configuration file was
// loaded, NewConfiguration1Click from its File menu, SetMeteringHint when
// metering is prepared, LockForMetering when metering starts and stops,
// SendConfiguration for "Send Configuration", the start of metering and a
// resend.
//
// Keyboard: the arrows move the grid's current cell, and an input cell that
// becomes current opens the type selector over it with the focus, where the
// arrows choose a type. Escape there closes the selector and hands the focus
// back to the grid on the same cell; Tab and Shift+Tab move the selector to
// the next or previous input cell without changing any type; Enter on the
// grid opens the selector again on its current cell (widgets/gridselectorkeys.h,
// shared with the debug page). Assistive technology
// reads the selector as "Module 5, INPUT 3".
class ConfigPage : public QWidget
{
    Q_OBJECT

public:
    ConfigPage(ModuleTable &table, QWidget *parent = nullptr);

    // Deletes every node and rebuilds the four groups with their modules,
    // resetting the table to a new configuration; current_node becomes none.
    void BuildConfigTree();
    // Rebuilds the grid rows from the table; forgets the chosen cell and hides
    // the selector.
    void RefreshConfigGrid();
    // File menu "New Configuration": BuildConfigTree, then RefreshConfigGrid.
    void NewConfiguration1Click();
    // The grid's hint "Configuration cannot be changed while metering".
    void SetMeteringHint(bool on);
    // Metering runs (running) or has stopped. While it runs nothing here may
    // change the configuration: the type selector closes (a selector left
    // open would still show a newly picked type that the page then refused)
    // and the copy buttons are hidden. When it stops the buttons come back
    // and the hint goes.
    void LockForMetering(bool running);
    // Closes the type selector; the cell chosen last is kept.
    void CloseSelector();
    // Writes the input types of every listed module with at least one input in
    // use to that module (registers 0..3), in row order, through the guarded
    // bus access, under the progress box "Sending Configuration" over
    // mainWindow; SendConfigurationRows does the bus work. Failed writes are
    // passed over silently. Blocks the user-interface thread until every row
    // is done. No timer fires while the box stands (see SetProgress); a timer
    // that fell due meanwhile fires as soon as the thread is free again, so a
    // caller whose own timer must start afresh after the send stops it before
    // and starts it after (the metering resend does so with Read_Timer).
    void SendConfiguration(QWidget *mainWindow);

    // Loads the named .cfg file into the table, for "Load Configuration" and
    // the automatic start, and returns the file's sample period. An accepted
    // file sets the input types, selects exactly the modules with an input in
    // use, marks their groups expanded, and shows them in the tree without
    // rebuilding it: their nodes get the green dot and are revealed, which
    // opens their groups; every other module node gets the cross. Groups with
    // no such module keep their picture and their expansion.
    //
    // A failure says why, and the reason also goes to the warning log: a file
    // that cannot be opened changes nothing and is not shown to the user; a
    // rejected file is reported as "Error in Configuration File." and leaves a
    // new configuration (BuildConfigTree), nothing of it taken. The grid is the
    // caller's to refresh.
    Result<int> LoadConfigFile(const QString &name);
    // Shows the table's module and group states in the tree without
    // rebuilding it, as a loaded file is shown: a selected module's node
    // gets the green dot and, when the table holds its group expanded, is
    // revealed, which opens the group; every other module node gets the
    // cross. Groups that the table holds closed keep their picture and their
    // expansion. The grid is the caller's to refresh.
    void ShowModuleStatesInTree();
    // Saves the input types of the visible modules and period to the named
    // file, replacing it whole or not at all.
    Result<> SaveConfigFile(const QString &name, int period) const;

    // The addresses of the grid's module rows, rows 1 to last.
    QList<int> GridAddresses() const;

    // Event handlers, connected by the page; public so that the main window
    // and tests can drive the page step by step.
    void Config_TreeChange(QTreeWidgetItem *node);
    bool Config_TreeExpanding(QTreeWidgetItem *node);
    bool Config_TreeCollapsing(QTreeWidgetItem *node);
    void Config_TreeClick();
    bool Config_GridSelectCell(int col, int row);
    void Config_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect);
    void Config_GridTopLeftChanged();
    void setting_CBChange();
    void change_row_BClick();
    void change_col_BClick();
    void change_all_BClick();
    void clear_all_BClick();

    // Tree node data: the group number (group node) or the address (module
    // node), and the state index shown as the node's picture (0 none, 1 and 2
    // a cross, 3 a green dot).
    static bool IsGroupNode(const QTreeWidgetItem *node);
    static int NodeNumber(const QTreeWidgetItem *node);
    static int NodeStateIndex(const QTreeWidgetItem *node);
    static void SetNodeStateIndex(QTreeWidgetItem *node, int index);

    QTreeWidgetItem *CurrentNode() const { return current_node; }
    int SelectedRow() const { return selected_row; }
    int SelectedCol() const { return selected_col; }

    ConfigTree *Config_Tree = nullptr;
    StringGrid *Config_Grid = nullptr;
    QComboBox *setting_CB = nullptr;
    QFrame *options_P = nullptr;
    QPushButton *change_row_B = nullptr;
    QPushButton *change_col_B = nullptr;
    QPushButton *change_all_B = nullptr;
    QPushButton *clear_all_B = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int GridAddress(int row) const;
    bool HasRememberedCell() const;
    // The type of the remembered cell's input, or -1 without a usable cell.
    int RememberedType() const;
    void PlaceSelector();

    ModuleTable &m_table;
    QTreeWidgetItem *current_node = nullptr;
    int selected_row = 0;
    int selected_col = 0;
};
