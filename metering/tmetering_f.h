#pragma once

#include "modules/moduletable.h"
#include "modules/readingconversion.h"

#include <QWidget>

#include <array>

class BusStatus;
class PieGauge;
class QFrame;
class QPainter;
class QPushButton;
class QTreeWidget;
class StringGrid;

// The Metering page: a tree of the active modules, a grid with one row of
// eight reading texts per active module, and below the grid the gauge of the
// period and the START / STOP buttons (exactly one of the two shows).
//
// The grid is the only record of the last readings. Row 0 is the header;
// each further row holds "Module %i" in column 0, the texts of inputs 1..8 in
// columns 1..8, the address in the hidden column 9 and, in the hidden column
// 10, "1" while the row holds the module read last (its texts are drawn
// blue) and "0" otherwise.
//
// The page shows; the main window runs the cycle. Its buttons are handled by
// the main window (Metering_F1start_BClick, Metering_F1stop_BClick), whose
// first step is start_BClick or stop_BClick here.
class TMetering_F : public QWidget
{
    Q_OBJECT

public:
    explicit TMetering_F(QWidget *parent = nullptr);

    // Rebuilds tree and grid from module_active, in ascending address order.
    // START is enabled only when at least one module is active.
    void Fill_Metering_Page(const std::array<int, kModuleCount + 1> &module_active);
    // Gauge maximum = period, progress 0.
    void Set_Gauge_Range(int period);
    // Gauge progress = tick count, kept within the range by the gauge.
    void Set_Gauge_Progress(int tick);
    // Writes the readings of module m into its row and moves the blue
    // highlight there; m = 0 (an idle tick) turns the last row black.
    void Show_Readings(int m, const ReadingTexts &readings = {});

    // What the bus did with each listed module (metering/busstatus.h): the
    // tooltip of its row header and of its tree node (BusStatus::ModuleHint,
    // none before its first read), and in the tree the state image
    // kStateNotAnswering while it has not answered for a whole period, the
    // green disc otherwise.
    void Show_Bus_Status(const BusStatus &status);
    // The tooltip of the row header of grid row row; "" for none.
    QString RowHeaderHint(int row) const;

    void start_BClick();
    void stop_BClick();
    void Metering_GridDrawCell(QPainter &painter, int col, int row, const QRect &rect);
    // Refuses every cell. Not installed on the main window's page, where a
    // cell may take the focus (nothing in the grid can be edited anyway).
    bool Metering_GridSelectCell(int col, int row);

    QTreeWidget *metering_T = nullptr;
    StringGrid *Metering_Grid = nullptr;
    QFrame *metering_P = nullptr;
    PieGauge *CGauge1 = nullptr;
    QPushButton *start_B = nullptr;
    QPushButton *stop_B = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Shows the row header's tooltip over column 0 of the grid.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Writes a row's cells 1..8 again, so that the grid repaints them in the
    // colour column 10 now asks for.
    void RepaintRow(int row);

    // Tooltips of the grid's row headers by row; the grid has no tips of its
    // own.
    QList<QString> m_rowHints;
};
