#include "geometry/efficiency.h"

#include "geometry/raster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

bool layoutRasterFor(const UVBox& box, LayoutRaster& out)
{
    const double w = box.width(), h = box.height();
    if (box.isInverted() || !std::isfinite(w) || !std::isfinite(h))
        return false;
    const double longer = std::max(w, h);
    if (!(longer > 0.0))
        return false;
    const double scale = LayoutRasterSide / longer;
    if (!std::isfinite(scale))
        return false;
    // Truncation toward zero; a layout thinner than one cell still gets one
    // row (or column) so that it can be drawn.
    const auto cells = [](double extent) {
        return static_cast<int32_t>(std::min<double>(std::max(extent, 1.0), LayoutRasterSide));
    };
    out.frame = box;
    out.scale = scale;
    out.width = cells(w * scale);
    out.height = cells(h * scale);
    return true;
}

double rasterEfficiency(const std::vector<uint32_t>& grid, int32_t width, int32_t height,
                        double filled)
{
    if (width <= 0 || height <= 0 || grid.size() < size_t(width) * size_t(height))
        return 0.0;
    int32_t c0 = width, c1 = -1, r0 = height, r1 = -1;
    for (int32_t r = 0; r < height; ++r) {
        const uint32_t* row = grid.data() + size_t(r) * width;
        int32_t first = -1, last = -1;
        for (int32_t c = 0; c < width; ++c) {
            if (row[c] != EmptyLabel) {
                if (first < 0)
                    first = c;
                last = c;
            }
        }
        if (first < 0)
            continue;
        c0 = std::min(c0, first);
        c1 = std::max(c1, last);
        r0 = std::min(r0, r);
        r1 = r;
    }
    return extentEfficiency(filled, c0, c1, r0, r1);
}

double extentEfficiency(double filled, int32_t c0, int32_t c1, int32_t r0, int32_t r1)
{
    if (c1 < c0 || r1 < r0)
        return 0.0;
    // The extents count both extreme cells, so that a layout covering its
    // whole rectangle measures exactly 100 (at most 1024^2 cells).
    const int64_t extent = int64_t(r1 - r0 + 1) * int64_t(c1 - c0 + 1);
    return filled * 100.0 / double(extent);
}

size_t coveredCells(const std::vector<uint32_t>& grid, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || grid.size() < size_t(width) * size_t(height))
        return 0;
    const auto end = grid.begin() + std::ptrdiff_t(size_t(width) * size_t(height));
    return size_t(std::count_if(grid.begin(), end, [](uint32_t v) { return v != EmptyLabel; }));
}

double atlasPackingEfficiency(const ChartList& charts)
{
    LayoutRaster raster;
    if (charts.empty() || !layoutRasterFor(chartListUVBounds(charts), raster))
        return 0.0;
    std::vector<uint32_t> grid(size_t(LayoutRasterSide) * LayoutRasterSide, EmptyLabel);
    const GridAxis columns(raster.width), rows(raster.height);
    for (size_t k = 0; k < charts.size(); ++k) {
        uint32_t chartFilled = 0;
        CellRect rect;
        rasterizeChart(charts[k], raster.frame, grid, raster.width, raster.height,
                       static_cast<uint32_t>(k), EmptyLabel, chartFilled, rect, nullptr, false, 0,
                       columns, rows);
    }
    // A cell that two charts touch counts once.
    const double filled = double(coveredCells(grid, raster.width, raster.height));
    return rasterEfficiency(grid, raster.width, raster.height, filled);
}
