#pragma once

#include "model/chart.h"

// Slides every chart left, then down, on a 1024-cell raster until nothing moves,
// moves the layout to the UV origin and returns the packing efficiency in
// percent (0 when no cell is covered).
double compactCharts(ChartList& charts);
