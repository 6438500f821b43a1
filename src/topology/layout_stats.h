#pragma once

#include "model/chart.h"
#include "model/stats.h"

// The statistics of a layout: counts, flips, overlaps (triangles overlapping
// with positive area, within a chart or between charts, and boundary edges
// crossing), efficiency and normalised boundary length.
UnwrappingStats computeStats(const ChartList& charts, const iuv::DoubleVector& sharedPositions);
