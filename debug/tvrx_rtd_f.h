#pragma once

#include "debug/vrxpoller.h"

#include <QWidget>

class ConfigTree;
class QComboBox;
class QFrame;
class QLabel;
class QPainter;
class QPushButton;
class QTimer;
class QTreeWidgetItem;
class StringGrid;

// The VRX-RTD debug page: configures relay-integrated modules 1..3 and polls
// them over the 9-bit link. Its logic is VrxPoller's; the page shows it.
//
// Upper half (config_P): a tree of the three modules, each starting with the
// cross, whose click toggles the module between the green dot and the cross;
// the grid VRX_Grid with one row per module showing the green dot (type texts
// of inputs 1..8, the module number in the hidden column 9); the type selector
// over the chosen input cell; Change Column, Change Row, Change All and Clear
// All. It works as the Configuration page does, and while the page polls it
// takes no change at all: clicks and chosen cells change nothing and the four
// buttons are hidden.
//
// Lower half (meter_P): the polling grid VRX_Read_Grid with one row per
// polled module (ascending; the module number in the hidden column 9), its
// latest reading texts drawn blue in the row polled last and black in the
// others; the Tx and Rx lamps, each lit for 250 ms by a request and by an
// accepted answer; Enable and Disable.
//
// The main window owns the timer and the port: its VRX_RTD_F1enable_BtnClick
// and VRX_RTD_F1disable_BtnClick handle the two buttons (enable_BtnClick and
// disable_BtnClick here are their page steps), and each tick of its 1200 ms
// VRX_Read_Timer calls Poll_Next_Module, which runs Next_Request, the poll
// function given at construction, and Show_Reply.
//
// Keyboard: in the configuration grid and its selector, Tab and Shift+Tab go
// to the next and previous input cell, Escape leaves the selector for the
// grid, Enter or F2 opens it again (widgets/gridselectorkeys.h).
class TVRX_RTD_F : public QWidget
{
    Q_OBJECT

public:
    explicit TVRX_RTD_F(VrxPollFunction poll = {}, QWidget *parent = nullptr);

    // --- operations the main window calls -------------------------------------
    // The temperature unit of the readings: "Celsius" or "Fahrenheit".
    void Set_Unit_Name(const QString &unit);
    // Lights the Tx lamp and gives the module of the next polling row with its
    // eight type codes (0 when no row is listed).
    int Next_Request(VrxTypes &types);
    // Shows the outcome of polling module in its row; lights the Rx lamp when
    // ok.
    void Show_Reply(bool ok, int module, const std::array<int, kInputCount> &readings);
    // One tick of VRX_Read_Timer: Next_Request, the poll, Show_Reply; nothing
    // unless polling.
    void Poll_Next_Module();

    // Enable's page steps: empties the polling grid and, when a module has
    // something to poll, lists it and freezes the configuration half.
    // Returns whether polling started.
    bool enable_BtnClick();
    void disable_BtnClick();
    bool Polling() const { return m_poller.polling; }

    // --- handlers, connected by the page; public so that tests can drive the
    // page step by step -------------------------------------------------------
    void VRX_TreeViewChange(QTreeWidgetItem *node);
    void VRX_TreeViewClick();
    bool VRX_GridSelectCell(int col, int row);
    void VRX_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect);
    void vrx_setting_CBChange();
    void vrx_change_col_BClick();
    void vrx_change_row_BClick();
    void vrx_change_all_BClick();
    void vrx_clear_all_BClick();
    void VRX_Read_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect);
    void Tx_TimerTimer();
    void Rx_TimerTimer();
    // Lists the modules with the green dot in VRX_Grid; forgets the chosen cell
    // and closes the selector.
    void Refresh_VRX_Grid();

    // Tree node data: the module number, and the state index shown as the
    // node's picture (2 a cross, 3 a green dot).
    static int NodeNumber(const QTreeWidgetItem *node);
    static int NodeStateIndex(const QTreeWidgetItem *node);

    const VrxPoller &Poller() const { return m_poller; }
    VrxPoller &Poller() { return m_poller; }
    QTreeWidgetItem *CurrentNode() const { return current_node; }
    int SelectedRow() const { return selected_row; }
    int SelectedCol() const { return selected_col; }
    bool TxLit() const { return m_txLit; }
    bool RxLit() const { return m_rxLit; }

    ConfigTree *VRX_TreeView = nullptr;
    QFrame *config_P = nullptr;
    QLabel *config_L = nullptr;
    StringGrid *VRX_Grid = nullptr;
    QComboBox *vrx_setting_CB = nullptr;
    QPushButton *vrx_change_col_B = nullptr;
    QPushButton *vrx_change_row_B = nullptr;
    QPushButton *vrx_change_all_B = nullptr;
    QPushButton *vrx_clear_all_B = nullptr;
    QFrame *meter_P = nullptr;
    QLabel *metering_L = nullptr;
    StringGrid *VRX_Read_Grid = nullptr;
    QLabel *tx_L = nullptr;
    QLabel *rx_L = nullptr;
    QLabel *Tx_Led = nullptr;
    QLabel *Rx_Led = nullptr;
    QPushButton *enable_Btn = nullptr;
    QPushButton *disable_Btn = nullptr;
    QTimer *Tx_Timer = nullptr;
    QTimer *Rx_Timer = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int GridModule(int row) const;
    bool HasRememberedCell() const { return selected_row > 0 && selected_col > 0; }
    void PlaceSelector();
    void CloseSelector();
    void ShowPollRow(int row);
    void SetLamp(QLabel *lamp, bool &lit, bool on);

    VrxPoller m_poller;
    QTreeWidgetItem *current_node = nullptr;
    int selected_row = 0;
    int selected_col = 0;
    bool m_txLit = false;
    bool m_rxLit = false;
};
