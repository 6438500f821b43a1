#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "packing/atlas.h"

// One refinement step: the local search on axis-aligned copies of the charts,
// the global search on the model itself, and the better of the two. True when
// a cut was applied; the model then holds the new, repacked charts and
// scoreOut the score of the chosen solution.
bool applyBestCut(ChartList& charts, iuv::DoubleVector& sharedPositions,
                  iuv::DoubleVector& vertexColors, double A, double& scoreOut, Atlas& atlas);

// Rotates the chart's UV layout about the origin by the angle (in steps of
// about half a degree) that best aligns consecutive boundary edges with the
// axes. Charts whose UV halfedges cannot be built are left as they are.
void alignChartToAxes(Chart& chart);

// The angle index (0..719) that alignChartToAxes rotates by; 0 for a chart
// without boundary or whose halfedges cannot be built.
int bestAxisAlignmentIndex(const Chart& chart);

constexpr double AxisAlignmentStep = 0.008726646258333333;
constexpr int AxisAlignmentSteps = 720;
