#pragma once

#include "model/chart.h"

// Packing efficiency in percent of the current layout, measured on a raster of
// 1024 cells along the longer side of the layout's UV box. 0 for a layout
// without any covered cell.
double atlasPackingEfficiency(const ChartList& charts);
