#pragma once

#include "modules/trafficrows.h"
#include "result/result.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

// The rows of a TrafficFeed as a table. Refresh() takes what the log got
// since the last call in one step: the oldest rows that no longer fit are
// removed (one beginRemoveRows), the new ones appended (one
// beginInsertRows). Cells are made when the view asks for them, so a
// refresh costs the filter and a copy of each new record, whatever their
// text. The model only reads the log.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    TrafficModel(const ExchangeLog &log, size_t maxRows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes the new records of the log; returns how many rows came.
    size_t Refresh();
    // Shows the rows that pass filter, chosen again from the log.
    void SetFilter(const TrafficFilter &filter);
    void SetDecoding(TrafficDecoding decoding) { m_decoding = std::move(decoding); }

    QStringList RowTexts(int row) const;
    const TrafficFeed &feed() const { return m_feed; }

private:
    const ExchangeLog &m_log;
    TrafficFeed m_feed;
    TrafficDecoding m_decoding;
    QFont m_fixedFont; // the bytes' columns
};

// "Bus Traffic": the exchanges of both lines as they happen, newest at the
// bottom, one row per attempt (modules/trafficrows.h says why). It reads the
// exchange log every kRefreshMs while shown and never asks the bus; hidden
// or closed it costs nothing (no timer runs, no listener is attached).
//
// Address and "Failures only" filter the rows; Pause holds the list still
// while the log goes on, and Resume catches up (what the ring pushed out
// meanwhile is counted in the status line). Copy puts the selected rows on
// the clipboard as tab-separated text; "Save as CSV..." writes the rows the
// filter shows, off the window's thread, and reports a failure in a box.
class TrafficWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 200;

    // decoding: how readings are worded, asked afresh at each refresh (the
    // module types and the unit may change while the window is open).
    TrafficWindow(const ExchangeLog &log, std::function<TrafficDecoding()> decoding,
                  QWidget *parent = nullptr, size_t maxRows = TrafficFeed::kDefaultMaxRows);

    QComboBox *address_CB = nullptr; // "All", 1..63 (item data: the address, 0 for all)
    QCheckBox *failures_CB = nullptr;
    QPushButton *pause_B = nullptr; // checkable: down while paused
    QPushButton *copy_B = nullptr;
    QPushButton *save_B = nullptr;
    QTableView *Traffic_Grid = nullptr;
    QLabel *status_L = nullptr;
    QTimer *Refresh_Timer = nullptr;

    TrafficModel *model() const { return m_model; }

    // One refresh, as Refresh_Timer does it: nothing while paused.
    void RefreshTimerTimer();
    void pause_BClick(bool paused);
    void FilterChange();
    void copy_BClick();
    // Asks for a file without blocking the window (the dialog opens window-
    // modal and answers later), then SaveCsv.
    void save_BClick();
    // Writes the rows shown to path through a temporary file, on a worker
    // thread; a failure is shown in a box. done, when given, gets the
    // outcome on the window's thread.
    void SaveCsv(const QString &path, std::function<void(const Result<> &)> done = {});

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showStatus();
    bool atBottom() const;

    TrafficModel *m_model = nullptr;
    std::function<TrafficDecoding()> m_decoding;
    QString m_lastFolder;
};
