#pragma once

#include "model/chart.h"
#include "packing/atlas.h"

// Packs the chart list into the atlas (eight rotations, sixteen with
// mirroring), reorders it by UV area (largest first), rewrites every chart's
// uvCoords2D, compacts the layout and returns the packing efficiency in percent.
// An empty chart list returns 0 without touching the atlas.
double packCharts(ChartList& charts, const iuv::DoubleVector& sharedPositions, bool allowMirroring,
                  Atlas& atlas);
