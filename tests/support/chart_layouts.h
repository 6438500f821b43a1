#pragma once

#include "model/chart.h"

#include <cstdint>
#include <vector>

// Chart layouts and geometric checks for the raster, packing and compaction tests.
namespace packtest {

// An nx x ny grid of quads (two triangles each) over [x0, x0 + w] x [y0, y0 + h].
Chart gridChart(int nx, int ny, double x0, double y0, double w, double h);

// Pairs of charts whose triangles share more than `slack` of area, measured
// by polygon intersection.
struct OverlapReport {
    size_t overlappingPairs = 0;
    double largest = 0.0; // largest shared area found
};
OverlapReport findChartOverlaps(const ChartList& charts, double slack);

// Signed UV area of the chart (positive when the triangles run counter-clockwise).
double signedUVArea(const Chart& chart);

} // namespace packtest
