#pragma once

#include "model/chart.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Margin used by the triangle overlap test, both on barycentric weights and
// on segment parameters.
constexpr double OverlapTolerance = 0.001;

struct UVPoint {
    double u;
    double v;
};

// All three barycentric weights of p with respect to (a, b, c) exceed 0.001.
// Points on an edge or at a vertex, and any point of a degenerate triangle,
// are not inside.
bool pointStrictlyInTriangle(UVPoint p, UVPoint a, UVPoint b, UVPoint c);

// Segment p1p2 against q1q2. Collinear segments intersect when q1 or q2 lies
// strictly inside p1p2; otherwise both line parameters must lie in
// [tolerance, 1 - tolerance).
bool segmentsIntersect(UVPoint p1, UVPoint p2, UVPoint q1, UVPoint q2, double tolerance);

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

// Appends one chart per group of triangles connected through shared UV edges.
void splitIntoUVComponents(const Chart& chart, ChartList& out);

// Cuts every UV edge between an overlapping and a non-overlapping triangle and
// appends the resulting pieces.
void splitOffOverlaps(const Chart& chart, ChartList& out);

// Replaces the chart list: with trivialSplit by the pieces of splitOffOverlaps
// of every chart, otherwise by the output of removeOverlapsBySegmentation.
void removeOverlapsPlain(ChartList& charts, const iuv::UIntVector& coneSingularities,
                         const iuv::DoubleVector& sharedPositions, bool seamSeparating, bool trivialSplit);

