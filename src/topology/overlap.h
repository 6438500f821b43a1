#pragma once

#include "model/chart.h"

// True when the chart's UV boundary crosses itself.
bool hasUVOverlaps(const Chart& chart);

// Appends one chart per group of triangles connected through shared UV edges.
void splitIntoUVComponents(const Chart& chart, ChartList& out);
