#pragma once

#include "model/chart.h"

// Slides every chart left, then down, on a 1024-cell raster until nothing moves,
// moves the layout to the UV origin and returns the packing efficiency in
// percent: distinct covered cells over the rectangle of the covered cells (0
// when no cell is covered; at most 100).
//
// Charts move rigidly by whole raster cells, and a cell that two charts both
// touch counts as occupied for either of them, so charts that did not overlap
// before do not overlap afterwards. Charts without triangles are left alone.
double compactCharts(ChartList& charts);
