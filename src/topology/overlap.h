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

// Every unordered pair (smaller, larger) of triangles whose UV interiors
// overlap with positive area (trianglesOverlapWithArea), sorted. Unlike the
// pairs above this ignores the shared-edge rules and the 0.001 margins, so it
// finds every overlap that covers area, and nothing that only touches.
std::vector<std::pair<uint64_t, uint64_t>> findAreaOverlapPairs(const Chart& chart);

// True when two boundary edges of the chart cross each other transversally
// (segmentsCrossProperly). A boundary that only touches itself, at a vertex or
// along a stretch, does not count.
bool hasBoundaryCrossings(const Chart& chart);
