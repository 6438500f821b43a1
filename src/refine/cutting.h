#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

// Cutting a chart along a straight line of constant v (horizontal) or constant
// u (vertical) through its triangles. Every crossed triangle is split at the
// line; new UV and 3D vertices are shared between the triangles of one edge
// and recorded in a registry so that other charts using the same 3D edge can
// be split at the same 3D vertices afterwards.

// Tolerance for a corner lying on the line; an edge is crossed only when both
// of its ends lie farther than this from the line, on opposite sides.
constexpr double CutOnLineTolerance = 1e-05;
// Two splits of one edge are the same split when their weights differ by at
// most this much.
constexpr double SplitWeightTolerance = 0.0001;
// The margin that the cut callers pass: vertex groups lying wholly within it
// of the line are not cut.
constexpr double CutMargin = 0.05;

// Identifies a split point on an edge: the two vertex numbers (smaller first)
// and the weight of the smaller-numbered end.
struct SplitKey {
    uint64_t first;
    uint64_t second;
    double weight;
};

// Keys order by first, then second vertex; weights within the tolerance are
// equal.
struct SplitKeyLess {
    bool operator()(const SplitKey& a, const SplitKey& b) const;
};

using SplitMap = std::map<SplitKey, uint32_t, SplitKeyLess>;

// A split point of a 3D edge: the new 3D vertex and the weight of the edge's
// smaller-numbered end.
struct SplitPoint {
    uint32_t vertex;
    double weight;
};

struct EdgeKeyHash {
    size_t operator()(const std::pair<uint64_t, uint64_t>& e) const
    {
        return static_cast<size_t>(e.first * 0x9E3779B97F4A7C15ull ^ (e.second + (e.first << 6)));
    }
};

// Every 3D edge split during one cut of a chart list, keyed by (smaller,
// larger) 3D vertex, each list sorted by ascending weight of the smaller end.
// A split of a piece of an edge that was split before (the second line of a
// cut crossing a half of an edge, or two copies of one seam edge crossed at
// different places) is recorded on the original edge, so that every chart
// using any piece of that edge can be given all the split points on it.
struct SplitEdgeRegistry {
    std::unordered_map<std::pair<uint64_t, uint64_t>, std::vector<SplitPoint>, EdgeKeyHash> edges;

    // Where a new vertex lies: on the original edge (first < second) at the
    // weight of its first end.
    struct Origin {
        uint64_t first;
        uint64_t second;
        double weight;
    };
    std::unordered_map<uint64_t, Origin> origins;

    // Records vertex as the split of the edge a-b at the weight of the
    // smaller-numbered of a and b.
    void add(uint64_t a, uint64_t b, uint32_t vertex, double weightOfSmaller);
    // The split points of the original edge between a and b (any order), or null.
    const std::vector<SplitPoint>* find(uint64_t a, uint64_t b) const;
    // A split point inside an edge x-y: the point is atX * x + atY * y.
    struct Between {
        uint32_t vertex;
        double atX;
        double atY;
    };
    // The split points lying strictly inside the edge from x to y, in order
    // from x to y. False when there are none.
    bool pointsBetween(uint64_t x, uint64_t y, std::vector<Between>& out) const;
    bool empty() const { return edges.empty(); }

private:
    // One flag per 3D vertex that is an end or a split point of a recorded
    // edge; an edge with an unflagged end has no split points.
    std::vector<bool> involved;
    bool isInvolved(uint64_t v) const { return v < involved.size() && involved[v]; }
    void markInvolved(uint64_t v);

    // The original edge that holds both x and y and their weights on it.
    bool commonEdge(uint64_t x, uint64_t y, Origin& edge, double& wx, double& wy) const;
};

// One bit per triangle: set when the triangle is left whole by the cut.
using CutMask = std::vector<bool>;

// Outcome of testing a triangle against a line.
struct LineCrossing {
    bool crosses = false;
    std::array<bool, 3> edgeCrossed{{false, false, false}};
    std::array<bool, 3> onLine{{false, false, false}};
};

// corners holds the three UV points (u0, v0, u1, v1, u2, v2) in corner order.
LineCrossing lineCrossesTriangle(const std::array<double, 6>& corners, double c, bool horizontal);

// UV vertex adjacency of a chart (vertices joined by a triangle edge) in
// compressed rows. valid is false when a triangle names a UV vertex that the
// chart does not have; such a chart is never cut.
struct UVAdjacency {
    std::vector<uint32_t> offsets; // numUVVertices + 1 entries
    std::vector<uint32_t> neighbours;
    bool valid = true;
};

UVAdjacency buildUVAdjacency(const Chart& chart);

// Fills mask with one bit per triangle: set for the triangles touching a group
// of same-side UV vertices that lies wholly within margin of the line.
void markUncuttableTriangles(const Chart& chart, bool horizontal, double c, CutMask& mask,
                             double margin);
// The same with the chart's adjacency built beforehand.
void markUncuttableTriangles(const Chart& chart, const UVAdjacency& adjacency, bool horizontal,
                             double c, CutMask& mask, double margin);

// Splits the chart's triangles crossed by the line (those clear in the mask).
// Extends the chart's lists, sharedPositions and, when not empty, vertexColors.
void cutAlongLine(Chart& chart, iuv::DoubleVector& sharedPositions,
                  iuv::DoubleVector& vertexColors, SplitEdgeRegistry& registry, bool horizontal,
                  double c, CutMask& mask, double margin);

// Splits triangle t at the line when the line crosses it; new vertices are
// shared through the two split maps and recorded in the registry.
void splitTriangle(size_t t, Chart& chart, bool horizontal, double c,
                   iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors,
                   SplitMap& uvSplitMap, SplitMap& posSplitMap, SplitEdgeRegistry& registry);

// A polygon corner: UV vertex and 3D vertex.
struct CutCorner {
    uint32_t uv;
    uint32_t pos;
};

// Reduces a polygon of four corners to a triangle, appending the corners of the
// cut-off triangle to extraTriangles; three corners stay unchanged.
void triangulatePolygon(std::vector<CutCorner>& polygon, std::vector<CutCorner>& extraTriangles,
                        const iuv::DoubleVector& uvCoords2D);

// 0 for an equilateral triangle, larger for worse shapes (UV vertex numbers).
double triangleQuality(uint32_t a, uint32_t b, uint32_t c, const iuv::DoubleVector& uvCoords2D);

// Length of the cut that the line would make through the chart, counted on
// both sides (twice the length of the line inside the cuttable triangles).
double cutLength(const Chart& chart, double c, bool horizontal, double margin);
double cutLength(const Chart& chart, const UVAdjacency& adjacency, double c, bool horizontal,
                 double margin);
