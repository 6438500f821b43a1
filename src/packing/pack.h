#pragma once

#include "model/chart.h"
#include "packing/atlas.h"

// Packs the chart list into the atlas (eight rotations, sixteen with
// mirroring), reorders it by UV area (largest first), rewrites every chart's
// uvCoords2D, compacts the layout and returns the packing efficiency in percent.
// An empty chart list returns 0 without touching the atlas or printing
// anything. Charts without triangles keep their UVs and take no place.
// Progress goes to console(): "Packing charts ..." and "Done. Took
// <seconds>s. " on one line, "Enlarging atlas." lines in between when the
// atlas has to grow, then "Performing packing optimization ..." and "Done.
// Took <seconds>s. " (processor time of the calling thread and of its helper thread, if any).
double packCharts(ChartList& charts, const iuv::DoubleVector& sharedPositions, bool allowMirroring,
                  Atlas& atlas);
