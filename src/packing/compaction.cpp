#include "packing/compaction.h"

#include "geometry/efficiency.h"
#include "geometry/raster.h"
#include "packing/pack_threads.h"
#include "packing/padding.h"
#include "packing/settings.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace {

// A grid cell covered by more than one chart (two charts closer than a cell).
constexpr uint32_t SharedCell = 0xFFFFFFFEu;

// Empty compaction grids kept from one compaction to the next, at most one
// per lane: filling 4 MiB afresh, page by page, takes about as long as
// compacting a layout of a few hundred charts. Safe from several threads.
class EmptyGrids {
public:
    static std::vector<uint32_t> take()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex());
            std::vector<std::vector<uint32_t>>& grids = kept();
            if (!grids.empty()) {
                std::vector<uint32_t> grid = std::move(grids.back());
                grids.pop_back();
                return grid;
            }
        }
        return std::vector<uint32_t>(Cells, EmptyLabel);
    }

    // `grid`, taken from take(), must hold EmptyLabel in every cell again.
    static void give(std::vector<uint32_t>&& grid)
    {
        if (grid.size() != Cells)
            return;
        const std::lock_guard<std::mutex> lock(mutex());
        std::vector<std::vector<uint32_t>>& grids = kept();
        if (grids.size() < 2)
            grids.push_back(std::move(grid));
    }

private:
    static constexpr size_t Cells = size_t(LayoutRasterSide) * LayoutRasterSide;
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::vector<uint32_t>>& kept()
    {
        static std::vector<std::vector<uint32_t>> grids;
        return grids;
    }
};

// One chart on the compaction grid: every cell it covers, the cells that
// the moves test (its boundary), its cell origin now and where it started.
struct GridChart {
    std::vector<uint32_t> cells; // cell indices y * width + x
    CellList boundary;
    CellRect rect;
    int32_t startX = 0;
    int32_t startY = 0;
    bool drawn = false;
};

// The compaction grid. It holds only the charts' boundary cells: a chart's
// label, or SharedCell where several charts' cells meet in one cell.
class CompactionGrid {
public:
    CompactionGrid(std::vector<uint32_t>& grid, int32_t width, int32_t height)
        : grid_(grid), width_(width), height_(height)
    {
    }

    void add(size_t index, uint32_t label)
    {
        uint32_t& v = grid_[index];
        if (v == EmptyLabel) {
            v = label;
        } else if (v == SharedCell) {
            shared_[index].push_back(label);
        } else {
            shared_[index] = {v, label};
            v = SharedCell;
        }
    }

    void remove(size_t index, uint32_t label)
    {
        uint32_t& v = grid_[index];
        if (v == label) {
            v = EmptyLabel;
            return;
        }
        if (v != SharedCell)
            return;
        std::vector<uint32_t>& owners = shared_[index];
        owners.erase(std::find(owners.begin(), owners.end(), label));
        if (owners.size() == 1) {
            v = owners.front();
            shared_.erase(index);
        }
    }

    uint32_t at(int32_t x, int32_t y) const { return grid_[size_t(y) * width_ + x]; }

    // How many chart cells more there are than distinct covered cells: every
    // owner of a shared cell after the first.
    size_t extraOwners() const
    {
        size_t extra = 0;
        for (const auto& entry : shared_)
            extra += entry.second.size() - 1;
        return extra;
    }

    // Whether every boundary cell, shifted by (-dx, -dy), lies on the grid on
    // an empty cell or one of the chart's own (a shared cell is never free).
    bool fits(const GridChart& chart, uint32_t label, int32_t dx, int32_t dy) const
    {
        for (const CellPos& p : chart.boundary) {
            const int32_t x = p.first - dx, y = p.second - dy;
            if (x < 0 || x >= width_ || y < 0 || y >= height_)
                return false;
            const uint32_t v = at(x, y);
            if (v != EmptyLabel && v != label)
                return false;
        }
        return true;
    }

    // Slides the chart left as far as it goes, then one row down, and so on;
    // true when it moved.
    bool slide(GridChart& chart, uint32_t label)
    {
        int32_t dx = 0, dy = 0;
        for (;;) {
            if (fits(chart, label, dx + 1, dy))
                ++dx;
            else if (fits(chart, label, dx, dy + 1))
                ++dy;
            else
                break;
        }
        if (dx == 0 && dy == 0)
            return false;
        for (const CellPos& p : chart.boundary)
            remove(size_t(p.second) * width_ + p.first, label);
        chart.rect.x -= dx;
        chart.rect.y -= dy;
        for (CellPos& p : chart.boundary) {
            p.first -= dx;
            p.second -= dy;
            add(size_t(p.second) * width_ + p.first, label);
        }
        return true;
    }

private:
    std::vector<uint32_t>& grid_;
    int32_t width_;
    int32_t height_;
    std::unordered_map<size_t, std::vector<uint32_t>> shared_;
};

// Draws the chart alone (the grid is empty outside the call), grown by
// `margin` cells on every side, records every cell it takes and empties them
// again. Returns the number of cells the chart itself covers.
uint32_t drawAlone(const Chart& chart, const LayoutRaster& raster, const GridAxis& columns,
                   const GridAxis& rows, std::vector<uint32_t>& grid, uint32_t label, int32_t margin,
                   GridChart& out)
{
    uint32_t filled = 0;
    rasterizeChart(chart, raster.frame, grid, raster.width, raster.height, label, EmptyLabel, filled,
                   out.rect, nullptr, false, 0, columns, rows);
    if (margin > 0 && out.rect.w > 0 && out.rect.h > 0) {
        CellRect& r = out.rect;
        const int32_t x0 = std::max(r.x - margin, 0), y0 = std::max(r.y - margin, 0);
        const int32_t x1 = std::min(r.x + r.w - 1 + margin, raster.width - 1);
        const int32_t y1 = std::min(r.y + r.h - 1 + margin, raster.height - 1);
        dilateLabel(grid, raster.width, raster.height, label, EmptyLabel, margin, x0, y0, x1, y1);
        r = CellRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    }
    out.drawn = out.rect.w > 0 && out.rect.h > 0;
    out.startX = out.rect.x;
    out.startY = out.rect.y;
    for (int32_t y = out.rect.y; y < out.rect.y + out.rect.h; ++y)
        for (int32_t x = out.rect.x; x < out.rect.x + out.rect.w; ++x) {
            const size_t index = size_t(y) * raster.width + x;
            if (grid[index] == label) {
                out.cells.push_back(static_cast<uint32_t>(index));
                grid[index] = EmptyLabel;
            }
        }
    return filled;
}

// The cells a chart's moves must test: those on its cell rectangle's border,
// those with one of their eight neighbours (clipped to the grid) not the
// chart's alone, and those it shares with another chart. Every other cell of
// the chart is enclosed by these, so no other chart can reach it first; those
// interior cells are returned, to be emptied once every chart is done.
std::vector<uint32_t> collectBoundary(GridChart& chart, uint32_t label, const CompactionGrid& cells,
                                      int32_t width, int32_t height)
{
    std::vector<uint32_t> interior;
    const CellRect& r = chart.rect;
    for (uint32_t index : chart.cells) {
        const int32_t x = int32_t(index % uint32_t(width)), y = int32_t(index / uint32_t(width));
        bool boundary = x == r.x || x == r.x + r.w - 1 || y == r.y || y == r.y + r.h - 1;
        for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1) && !boundary; ++ny)
            for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
                if (cells.at(nx, ny) != label) {
                    boundary = true;
                    break;
                }
        if (boundary)
            chart.boundary.emplace_back(x, y);
        else
            interior.push_back(index);
    }
    // Column by column.
    std::sort(chart.boundary.begin(), chart.boundary.end());
    chart.cells = std::vector<uint32_t>();
    return interior;
}

} // namespace

double compactCharts(ChartList& charts)
{
    if (charts.empty())
        return 0.0;
    std::vector<UVBox> boxes(charts.size());
    UVBox layout;
    for (size_t i = 0; i < charts.size(); ++i) {
        boxes[i] = chartUVBounds(charts[i]);
        layout.include(boxes[i]);
    }
    LayoutRaster raster;
    if (!layoutRasterFor(layout, raster))
        return 0.0;

    // Each chart is drawn on its own first, so that a cell that two charts
    // touch is known to be shared rather than silently taken by the later
    // one. Then the grid keeps only the boundary cells of every chart.
    // Drawing a chart alone depends on no other, so two threads may share
    // the drawing, each on a grid of its own.
    std::vector<uint32_t> grid = EmptyGrids::take();
    std::vector<uint32_t> helperGrid;
    std::vector<GridChart> gridCharts(charts.size());
    std::vector<uint32_t> chartFilled(charts.size(), 0);
    // With padding every chart is grown so that charts that do not share a
    // cell keep the gutter between them (the grid's longer side is the
    // layout's, and the layout only shrinks here).
    const int32_t margin = paddingCells(atlasPadding, std::max(raster.width, raster.height));
    const GridAxis columns(raster.width), rows(raster.height);
    forEachOnTwoLanes(charts.size(), [&](size_t i, int lane) {
        std::vector<uint32_t>& laneGrid = lane == 0 ? grid : helperGrid;
        if (laneGrid.empty())
            laneGrid = EmptyGrids::take();
        chartFilled[i] = drawAlone(charts[i], raster, columns, rows, laneGrid, static_cast<uint32_t>(i), margin,
                                   gridCharts[i]);
    });
    // Each chart emptied the cells it drew.
    EmptyGrids::give(std::move(helperGrid));
    double filled = 0.0;
    for (uint32_t f : chartFilled)
        filled += f;

    CompactionGrid cells(grid, raster.width, raster.height);
    for (size_t i = 0; i < charts.size(); ++i)
        for (uint32_t index : gridCharts[i].cells)
            cells.add(index, static_cast<uint32_t>(i));
    // Each chart's boundary depends on the grid alone, which stays as it is
    // until every chart's is known.
    std::vector<std::vector<uint32_t>> interior(charts.size());
    forEachOnTwoLanes(charts.size(), [&](size_t i, int) {
        interior[i] = collectBoundary(gridCharts[i], static_cast<uint32_t>(i), cells, raster.width, raster.height);
    });
    for (const std::vector<uint32_t>& inside : interior)
        for (uint32_t index : inside)
            grid[index] = EmptyLabel;
    interior = std::vector<std::vector<uint32_t>>();

    // Passes over the charts in list order until one pass moves nothing.
    // Every move lowers some chart's cell position, so this ends.
    for (bool moved = true; moved;) {
        moved = false;
        for (size_t i = 0; i < charts.size(); ++i)
            if (gridCharts[i].drawn && cells.slide(gridCharts[i], static_cast<uint32_t>(i)))
                moved = true;
    }

    // Each chart moves rigidly by the cells it slid (one cell is the frame's
    // width / W by its height / H), then the whole layout moves to the UV
    // origin.
    const double cellU = raster.frame.width() / raster.width;
    const double cellV = raster.frame.height() / raster.height;
    UVBox movedBox;
    for (size_t i = 0; i < charts.size(); ++i) {
        const GridChart& gc = gridCharts[i];
        if (!gc.drawn)
            continue;
        const double du = (gc.rect.x - gc.startX) * cellU, dv = (gc.rect.y - gc.startY) * cellV;
        translateUVs(charts[i].uvCoords2D, du, dv);
        movedBox.include(UVBox(boxes[i].minU + du, boxes[i].minV + dv, boxes[i].maxU + du,
                               boxes[i].maxV + dv));
    }
    for (size_t i = 0; i < charts.size(); ++i)
        if (gridCharts[i].drawn)
            translateUVs(charts[i].uvCoords2D, -movedBox.minU, -movedBox.minV);
    // A cell that charts still share after the moves counts once. The grid
    // holds only boundary cells, but the extreme covered cells are among them
    // (every covered cell of the grid is some chart's boundary cell).
    filled -= double(cells.extraOwners());
    int32_t c0 = raster.width, c1 = -1, r0 = raster.height, r1 = -1;
    for (const GridChart& gc : gridCharts)
        for (const CellPos& p : gc.boundary) {
            c0 = std::min(c0, p.first);
            c1 = std::max(c1, p.first);
            r0 = std::min(r0, p.second);
            r1 = std::max(r1, p.second);
            grid[size_t(p.second) * raster.width + p.first] = EmptyLabel;
        }
    EmptyGrids::give(std::move(grid));
    return extentEfficiency(filled, c0, c1, r0, r1);
}
