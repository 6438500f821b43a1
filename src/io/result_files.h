#pragma once

#include "model/chart.h"
#include "model/stats.h"

#include <iosfwd>
#include <string>
#include <vector>

// The statistics block as written to the file (the "{" ... "}" lines).
std::string statsJSONText(const UnwrappingStats& stats, double boxifyTime);

// Writes the framed statistics block to standard output and the plain JSON to
// filename. Returns false (after printing "Unable to open file NAME for
// writing.") when the file cannot be written; the console block is written
// either way.
bool writeResultJSON(const UnwrappingStats& stats, double boxifyTime, const std::string& filename);

// The atlas drawing: one polygon per triangle in the chart's gamma-corrected
// palette colour (red fill for marked triangles, counted over all charts in
// list order), one outline per boundary loop, and optional red line segments
// (four values per segment: u1, v1, u2, v2). Returns false (after printing
// "Unable to open file NAME for writing.") when the file cannot be written.
bool writeAtlasSVG(const ChartList& charts, const UVBox& bounds, const std::string& filename,
                   const std::vector<double>* lines = nullptr,
                   const std::vector<bool>* markedTriangles = nullptr);
