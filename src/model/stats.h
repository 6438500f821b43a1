#pragma once

#include <cstddef>

struct UnwrappingStats {
    size_t numCharts = 0;
    size_t numVertices = 0;
    size_t numTriangles = 0;
    double normBLen = 0.0;
    double packingEfficiency = 0.0;
    bool flipsFound = false;
    bool overlapsFound = false;
};
