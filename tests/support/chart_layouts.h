#pragma once

#include "model/chart.h"

#include <cstdint>
#include <vector>

// Chart layouts and geometric checks for the raster, packing and compaction tests.
namespace packtest {

// An nx x ny grid of quads (two triangles each) over [x0, x0 + w] x [y0, y0 + h].
Chart gridChart(int nx, int ny, double x0, double y0, double w, double h);

// An L-shaped chart: the unit square without its upper right quadrant, made
// of 2 x 2 quads per quadrant.
Chart lShapeChart();

// `count` random charts: grid patches of varying size and aspect, some with
// cells removed, rotated by random angles and scattered, about
// `totalTriangles` triangles together. Deterministic for a seed.
ChartList randomLayout(int count, int totalTriangles, uint32_t seed);

// Pairs of charts whose triangles share interior area of more than `slack`
// (in UV units, measured along the separating directions).
struct OverlapReport {
    size_t overlappingPairs = 0;
    double deepest = 0.0; // largest penetration found
};
OverlapReport findChartOverlaps(const ChartList& charts, double slack);

// Every UV vertex used by a triangle of every chart.
UVBox layoutBox(const ChartList& charts);

// Signed UV area of the chart (positive when the triangles run counter-clockwise).
double signedUVArea(const Chart& chart);

} // namespace packtest
