#pragma once

#include "model/chart.h"

#include <cstdint>
#include <vector>

// Appends labelCount new charts; triangle t goes to chart labels[t]. Each new
// chart renumbers its used UV vertices densely in their old order; 3D indices
// are unchanged.
void splitChartByLabels(const Chart& chart, const std::vector<uint64_t>& labels, size_t labelCount,
                        ChartList& out);
