#pragma once

#include "model/chart.h"
#include "model/stats.h"

// The statistics of a layout: counts, flips, overlaps (boundary crossings and
// triangles of different charts overlapping), efficiency and normalised
// boundary length.
UnwrappingStats computeStats(const ChartList& charts, const iuv::DoubleVector& sharedPositions);
