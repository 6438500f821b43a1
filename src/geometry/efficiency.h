#pragma once

#include "model/chart.h"

#include <cstdint>
#include <vector>

// Packing efficiency in percent of the current layout, measured on a raster of
// 1024 cells along the longer side of the layout's UV box. 0 for a layout
// without any covered cell.
double atlasPackingEfficiency(const ChartList& charts);

// Cells along the longer side of the layout raster shared by the efficiency
// measure and the packing compaction.
constexpr int32_t LayoutRasterSide = 1024;

// The raster laid over a layout's UV box: `scale` cells per UV unit along the
// longer side, width x height cells (truncated, at least 1, at most 1024)
// covering `frame`.
struct LayoutRaster {
    UVBox frame;
    int32_t width = 0;
    int32_t height = 0;
    double scale = 0.0;
};

// False when the box has no extent (no triangles, a single point) or is not
// finite; then no raster can be laid over it.
bool layoutRasterFor(const UVBox& box, LayoutRaster& out);

// filled * 100 / ((r1 - r0 + 1) * (c1 - c0 + 1)) over the extreme columns c0,
// c1 and rows r0, r1 of the non-empty cells; 0 when no cell is covered. With
// filled the number of distinct covered cells the result is at most 100.
double rasterEfficiency(const std::vector<uint32_t>& grid, int32_t width, int32_t height,
                        double filled);
// The same for covered cells known to span columns c0..c1 and rows r0..r1
// (0 when c1 < c0).
double extentEfficiency(double filled, int32_t c0, int32_t c1, int32_t r0, int32_t r1);

// The number of non-empty cells among the first width x height of the grid.
size_t coveredCells(const std::vector<uint32_t>& grid, int32_t width, int32_t height);
