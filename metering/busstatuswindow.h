#pragma once

#include <QWidget>

#include <functional>

class BusStatus;
class ModuleTable;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// Diagnostics, Bus Status: a window beside the main window (not modal) with
// one row per module of the configuration (BusStatus::ConfiguredModules) and
// the columns Address, Module, State, Answered, Failed, Last outcome, Last
// failure, Round trip, Configuration sent and Notch command, read from the
// BusStatus it is given. A table widget, so a screen reader reads it cell by
// cell with its column headers.
//
// Above the table, Port_L says how the bus's port stands, in the words
// portText gives (for a network port: connected, its round trip and what
// it adds to each reply window, or why it cannot be opened).
//
// While it shows, a timer refreshes it every kRefreshMs; hidden or closed it
// costs nothing. Escape and "&Close" close it.
class BusStatusWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 1000;

    BusStatusWindow(const BusStatus &status, const ModuleTable &table, QWidget *parent = nullptr,
                    std::function<QString()> portText = {});

    // Fills the table afresh from the status and the table.
    void Refresh();

    QLabel *Port_L = nullptr;
    QTableWidget *Status_Table = nullptr;
    QPushButton *Close_B = nullptr;
    QTimer *Refresh_Timer = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    const BusStatus &m_status;
    const ModuleTable &m_table;
    std::function<QString()> m_portText;
};
