#pragma once

#include "model/chart.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// An overlap check independent of the program's own predicates, with
// Boost.Geometry: the area covered more than once is the sum of the
// intersection areas of all triangle pairs (a single union of thousands of
// triangles is not reliable in Boost 1.74); for a layout without overlaps it
// is 0 up to rounding, and then the union equals the sum.
namespace testsupport {

struct UVCoverage {
    double summedArea = 0.0;  // sum of the unsigned triangle areas
    double overlapArea = 0.0; // sum of the areas that two triangles share
    double unionArea = 0.0;   // summedArea - overlapArea (exact while no point is covered three times)
    size_t triangles = 0;     // triangles with area (the others are left out)
};

// Triangles given by UV coordinates (u, v per vertex) and three UV indices
// each; shared(i, j, area), when given, for every pair of triangle numbers
// i < j that shares an area.
UVCoverage uvCoverage(const std::vector<double>& uvs, const std::vector<uint32_t>& uvIndices,
                      const std::function<void(size_t, size_t, double)>& shared = nullptr);
// Every triangle of every chart, numbered in chart order.
UVCoverage uvCoverage(const ChartList& charts, const std::function<void(size_t, size_t, double)>& shared = nullptr);

} // namespace testsupport
