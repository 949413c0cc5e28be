#pragma once

#include "modules/bussearch.h"

#include <QDialog>
#include <QList>

#include <functional>

class ModuleTable;
class QLabel;
class QPushButton;
class QTableWidget;

// The window of "Bus Search": a table of the addresses that answered a
// search (SearchBus, modules/bussearch.h), with their device type, firmware
// version, notch filter frequency and what the configuration says of them,
// and the commands "Search", "Add to Configuration" and "Close".
//
// Search asks addresses 1 to 63 on the table's bus_target under the
// progress box "Searching the Bus" with its Cancel button (Escape too),
// which stands over this window and keeps the user's input from every other
// window until the search ends. The window's thread does the bus work, and
// between the attempts it takes the window system's events and the box's
// input; a cancel ends the search before the next attempt, and the rows
// found so far stay. No timer fires meanwhile (see TMessageBoxF::SetProgress).
//
// Add to Configuration lists the selected rows' modules on the Configuration
// page, or every module found that is not listed when no row is selected,
// through the window's addModules hook (AddFoundModules; input types stay
// as they are). The column "Configuration" shows the table as it is whenever
// the window becomes active or a module is added.
//
// Keyboard: Alt+S Search, Alt+A Add to Configuration, Alt+C or Escape close
// the window; the table takes the focus after a search. Assistive technology
// reads the table through Qt's table interface.
class BusSearchWindow : public QDialog
{
    Q_OBJECT

public:
    struct Hooks
    {
        // Whether the bus may be searched now: not while metering runs or
        // the debug page polls, which own the port then.
        std::function<bool()> busFree;
        // Lists the addresses on the Configuration page.
        std::function<void(const QList<int> &addresses)> addModules;
    };

    // Table columns.
    enum Column
    {
        kAddressCol,
        kDeviceCol,
        kFirmwareCol,
        kNotchCol,
        kConfigurationCol,
        kColumnCount
    };

    BusSearchWindow(ModuleTable &table, Hooks hooks, QWidget *parent = nullptr);

    // "Search": nothing but a line of text when the bus is not free.
    void search_BClick();
    // "Add to Configuration".
    void add_BClick();
    // Writes the column "Configuration" of every row from the table.
    void ShowConfigurationMarks();

    // The addresses of the rows, top to bottom.
    QList<int> FoundAddresses() const;
    // What Add to Configuration adds: the selected rows' addresses, or all
    // rows' when none is selected, less those already listed.
    QList<int> AddressesToAdd() const;

    QLabel *summary_L = nullptr;
    QTableWidget *found_G = nullptr;
    QPushButton *search_B = nullptr;
    QPushButton *add_B = nullptr;
    QPushButton *close_B = nullptr;

signals:
    // A search has ended: the bus port was opened (or failed to open) for it.
    void searched();

protected:
    void changeEvent(QEvent *event) override;

private:
    void AddRow(const FoundModule &module);
    void ShowSummary(const BusSearchResult &result);

    ModuleTable &m_table;
    Hooks m_hooks;
};
