// Repaint cost of the string grid against its row count. The grid paints only
// the cells it shows, so a full repaint should cost the same for 20 rows as
// for 100,000.

#include "widgets/stringgrid.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

void BM_StringGridRepaint(benchmark::State &state)
{
    const int rows = static_cast<int>(state.range(0));
    StringGrid grid;
    grid.SetColCount(10);
    grid.SetColWidth(9, 0);
    grid.SetRowCount(rows);
    grid.SetFixedRows(1);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 10; ++c)
            grid.SetCell(c, r, QStringLiteral("Pt100"));
    }
    grid.SetDrawCellHook([](QPainter &painter, int, int, const QRect &rect) {
        PaintGridTile(painter, rect, Qt::white, QStringLiteral("Pt100"));
    });
    grid.resize(608, 389);
    grid.show();
    grid.SetTopRow(rows / 2);
    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        grid.viewport()->render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["rows"] = rows;
}

} // namespace

BENCHMARK(BM_StringGridRepaint)->Arg(20)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
