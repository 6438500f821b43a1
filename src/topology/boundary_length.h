#pragma once

#include "model/chart.h"

// Euclidean UV length of the chart's boundary edges (edges without a partner
// corner in the UV edge matching); each boundary edge counts once.
double chartBoundaryLength(const Chart& chart);
double totalBoundaryLength(const ChartList& charts);
