#include "geometry/raster.h"
#include "geometry/predicates.h"

#include <algorithm>

namespace {

// Mapped points a thread keeps between charts (1 MiB).
constexpr size_t KeptMappedPoints = size_t(1) << 16;

// Dilation pass number `pass` (from 1): every empty cell with the label among
// its eight neighbours (as they were before the pass) takes the label. The
// stroke's extremes stay those of the triangles; the cell rectangle adds the
// gap itself.
void dilateOnce(uint32_t* grid, int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                int32_t pass, LabelStroke& stroke)
{
    const int32_t x0 = std::max(stroke.minCol - pass, 0), x1 = std::min(stroke.maxCol + pass, width - 1);
    const int32_t y0 = std::max(stroke.minRow - pass, 0), y1 = std::min(stroke.maxRow + pass, height - 1);
    CellList grown;
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if (grid[static_cast<size_t>(y) * width + x] != emptyMarker)
                continue;
            bool touches = false;
            for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1) && !touches; ++ny)
                for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
                    if (grid[static_cast<size_t>(ny) * width + nx] == label) {
                        touches = true;
                        break;
                    }
            if (touches)
                grown.emplace_back(x, y);
        }
    }
    for (const CellPos& p : grown) {
        grid[static_cast<size_t>(p.second) * width + p.first] = label;
        ++stroke.filled;
    }
}

bool hasForeignNeighbour(const uint32_t* grid, int32_t width, int32_t height, int32_t x, int32_t y,
                         uint32_t label)
{
    for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1); ++ny)
        for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
            if (grid[static_cast<size_t>(ny) * width + nx] != label)
                return true;
    return false;
}

} // namespace

void rasterizeChart(const Chart& chart, const UVBox& frame, std::vector<uint32_t>& grid,
                    int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                    uint32_t& filledOut, CellRect& rectOut, CellList* boundaryCellsOut,
                    bool keepOnlyBoundary, int32_t gap)
{
    // No axes are built for a grid that is not drawn into.
    const bool drawable = width > 0 && height > 0 &&
                          grid.size() >= static_cast<size_t>(width) * static_cast<size_t>(height);
    rasterizeChart(chart, frame, grid, width, height, label, emptyMarker, filledOut, rectOut,
                   boundaryCellsOut, keepOnlyBoundary, gap, GridAxis(drawable ? width : 0),
                   GridAxis(drawable ? height : 0));
}

void rasterizeChart(const Chart& chart, const UVBox& frame, std::vector<uint32_t>& grid,
                    int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                    uint32_t& filledOut, CellRect& rectOut, CellList* boundaryCellsOut,
                    bool keepOnlyBoundary, int32_t gap, const GridAxis& columns, const GridAxis& rows)
{
    filledOut = 0;
    rectOut = CellRect();
    if (boundaryCellsOut)
        boundaryCellsOut->clear();
    if (width <= 0 || height <= 0 ||
        grid.size() < static_cast<size_t>(width) * static_cast<size_t>(height) ||
        columns.centres.size() != static_cast<size_t>(width) || rows.centres.size() != static_cast<size_t>(height))
        return;
    // Beyond the grid's larger side further dilation passes change nothing.
    gap = std::min(std::max(gap, 0), std::max(width, height));

    const double frameW = frame.maxU - frame.minU;
    const double frameH = frame.maxV - frame.minV;
    const double shiftU = static_cast<double>(gap) / width;
    const double shiftV = static_cast<double>(gap) / height;
    const size_t numUV = chart.uvCoords2D.size() / 2;
    const size_t numCorners = chart.triIndicesUV.size() / 3 * 3;
    const double* uv = chart.uvCoords2D.data();
    uint32_t* cells = grid.data();

    // Every UV point mapped once into the frame's unit square (triangles
    // share their corners), into a buffer the thread keeps while it is
    // small: charts are drawn by the thousand.
    thread_local std::vector<Point2D> mapped;
    mapped.resize(numUV);
    for (size_t k = 0; k < numUV; ++k)
        mapped[k] = {(uv[2 * k] - frame.minU) / frameW + shiftU, (uv[2 * k + 1] - frame.minV) / frameH + shiftV};
    LabelStroke stroke;
    drawLabelTriangles(cells, width, height, mapped.data(), numUV, chart.triIndicesUV.data(), numCorners / 3,
                       label, stroke, columns, rows);
    if (mapped.capacity() > KeptMappedPoints)
        mapped = std::vector<Point2D>();
    for (int32_t pass = 1; pass <= gap && !stroke.empty(); ++pass)
        dilateOnce(cells, width, height, label, emptyMarker, pass, stroke);

    filledOut = stroke.filled;
    if (stroke.empty())
        return;

    const int64_t x = std::max<int64_t>(int64_t(stroke.minCol) - gap, 0);
    const int64_t y = std::max<int64_t>(int64_t(stroke.minRow) - gap, 0);
    rectOut.x = static_cast<int32_t>(x);
    rectOut.y = static_cast<int32_t>(y);
    rectOut.w = static_cast<int32_t>(std::min<int64_t>(stroke.maxCol + int64_t(gap) - x + 1, width - x));
    rectOut.h = static_cast<int32_t>(std::min<int64_t>(stroke.maxRow + int64_t(gap) - y + 1, height - y));
    if (!boundaryCellsOut)
        return;

    const int32_t xEnd = rectOut.x + rectOut.w, yEnd = rectOut.y + rectOut.h;
    for (int32_t cx = rectOut.x; cx < xEnd; ++cx) {
        for (int32_t cy = rectOut.y; cy < yEnd; ++cy) {
            if (cells[static_cast<size_t>(cy) * width + cx] != label)
                continue;
            const bool onBorder =
                cx == rectOut.x || cx == xEnd - 1 || cy == rectOut.y || cy == yEnd - 1;
            if (onBorder || hasForeignNeighbour(cells, width, height, cx, cy, label))
                boundaryCellsOut->emplace_back(cx, cy);
        }
    }
    if (!keepOnlyBoundary)
        return;
    for (int32_t cy = rectOut.y; cy < yEnd; ++cy) {
        uint32_t* row = cells + static_cast<size_t>(cy) * width;
        for (int32_t cx = rectOut.x; cx < xEnd; ++cx)
            if (row[cx] == label)
                row[cx] = emptyMarker;
    }
    for (const CellPos& p : *boundaryCellsOut)
        cells[static_cast<size_t>(p.second) * width + p.first] = label;
}
