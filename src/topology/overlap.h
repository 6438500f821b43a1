#pragma once

#include "model/chart.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Exact UV overlap test of triangles t1 and t2 of one chart.
bool trianglesOverlapUV(const Chart& chart, size_t t1, size_t t2);

// True when the chart's UV boundary crosses itself (boundary edges that share
// no endpoint intersect).
bool hasUVOverlaps(const Chart& chart);

// One flag per triangle: set when it overlaps at least one other triangle.
std::vector<bool> markOverlappingTriangles(const Chart& chart);

// Every unordered pair (smaller, larger) of overlapping triangles, sorted,
// without duplicates.
std::vector<std::pair<uint64_t, uint64_t>> findOverlappingTrianglePairs(const Chart& chart);
