#include "topology/overlap.h"

#include "topology/halfedge.h"
#include "geometry/overlap_grid.h"
#include "topology/chart_pieces.h"
#include "geometry/predicates.h"

#include <algorithm>
#include <cmath>

namespace {

UVPoint uvPoint(const Chart& chart, uint32_t k)
{
    return {chart.uvCoords2D[2 * size_t(k)], chart.uvCoords2D[2 * size_t(k) + 1]};
}

UVBox triangleBox(const Chart& chart, size_t t)
{
    UVBox box;
    for (size_t k = 0; k < 3; ++k) {
        const UVPoint p = uvPoint(chart, chart.triIndicesUV[3 * t + k]);
        box.include(p.u, p.v);
    }
    return box;
}

// Calls visit(t, u) for every ordered pair of distinct triangles whose UV
// boxes intersect, t ascending; visit returns true to end t's query.
template <typename Visit>
void forEachBoxPair(const Chart& chart, int gridSide, Visit visit)
{
    const size_t n = chart.numTriangles();
    std::vector<UVBox> boxes(n);
    for (size_t t = 0; t < n; ++t)
        boxes[t] = triangleBox(chart, t);
    OverlapGrid grid(chartUVBounds(chart), boxes, gridSide);
    for (size_t t = 0; t < n; ++t)
        grid.query(boxes[t], [&](size_t u) { return u != t && boxesIntersect(boxes[t], boxes[u]) && visit(t, u); });
}

} // namespace

bool trianglesOverlapUV(const Chart& chart, size_t t1, size_t t2)
{
    const size_t numTriangles = chart.triIndicesUV.size() / 3;
    if (t1 >= numTriangles || t2 >= numTriangles)
        return false;
    const uint32_t* a = &chart.triIndicesUV[3 * t1];
    const uint32_t* b = &chart.triIndicesUV[3 * t2];
    const UVPoint pa[3] = {uvPoint(chart, a[0]), uvPoint(chart, a[1]), uvPoint(chart, a[2])};
    const UVPoint pb[3] = {uvPoint(chart, b[0]), uvPoint(chart, b[1]), uvPoint(chart, b[2])};

    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (a[i] == b[(j + 1) % 3] && a[(i + 1) % 3] == b[j]) {
                // Shared edge with opposite orientation: they overlap only when
                // one is folded over the other.
                const int ia = (i + 2) % 3;
                const int jb = (j + 2) % 3;
                if (a[ia] == b[jb])
                    return true;
                return pointStrictlyInTriangle(pa[ia], pb[0], pb[1], pb[2]) ||
                       pointStrictlyInTriangle(pb[jb], pa[0], pa[1], pa[2]);
            }
        }
    }

    for (int i = 0; i < 3; ++i) {
        if (pointStrictlyInTriangle(pa[i], pb[0], pb[1], pb[2]) ||
            pointStrictlyInTriangle(pb[i], pa[0], pa[1], pa[2]))
            return true;
    }
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            if (segmentsIntersect(pb[j], pb[(j + 1) % 3], pa[i], pa[(i + 1) % 3], OverlapTolerance))
                return true;
    return false;
}

bool hasUVOverlaps(const Chart& chart)
{
    if (chart.triIndicesUV.empty() || !chartIndicesValid(chart))
        return false;
    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());

    struct Edge {
        uint32_t from;
        uint32_t to;
    };
    std::vector<Edge> edges;
    std::vector<UVBox> boxes;
    for (size_t c = 0; c < chart.triIndicesUV.size(); ++c) {
        if (partners[c].partner != InvalidIndex)
            continue;
        const Edge e{chart.triIndicesUV[c], chart.triIndicesUV[nextCorner(c)]};
        edges.push_back(e);
        UVBox box;
        const UVPoint p = uvPoint(chart, e.from);
        const UVPoint q = uvPoint(chart, e.to);
        box.include(p.u, p.v);
        box.include(q.u, q.v);
        boxes.push_back(box);
    }

    OverlapGrid grid(chartUVBounds(chart), boxes);
    for (size_t i = 0; i < edges.size(); ++i) {
        const Edge ei = edges[i];
        const UVPoint p1 = uvPoint(chart, ei.from);
        const UVPoint p2 = uvPoint(chart, ei.to);
        const bool crossed = grid.query(boxes[i], [&](size_t j) {
            if (j == i)
                return false;
            const Edge ej = edges[j];
            if (ej.from == ei.from || ej.from == ei.to || ej.to == ei.from || ej.to == ei.to)
                return false;
            return segmentsIntersect(p1, p2, uvPoint(chart, ej.from), uvPoint(chart, ej.to), 0.0);
        });
        if (crossed)
            return true;
    }
    return false;
}

namespace {

// Calls found(t, u) for every ordered pair of distinct triangles that overlap;
// found returns true to end t's query.
template <typename Found>
void forEachOverlap(const Chart& chart, Found found)
{
    forEachBoxPair(chart, OverlapGrid::Cells,
                   [&](size_t t, size_t u) { return trianglesOverlapUV(chart, t, u) && found(t, u); });
}

} // namespace

std::vector<bool> markOverlappingTriangles(const Chart& chart)
{
    std::vector<bool> marks(chart.numTriangles(), false);
    if (!chartIndicesValid(chart))
        return marks;
    forEachOverlap(chart, [&](size_t t, size_t) {
        marks[t] = true;
        return true;
    });
    return marks;
}

std::vector<std::pair<uint64_t, uint64_t>> findOverlappingTrianglePairs(const Chart& chart)
{
    std::vector<std::pair<uint64_t, uint64_t>> pairs;
    if (!chartIndicesValid(chart))
        return pairs;
    // The test is not quite symmetric (collinear edges), so a pair counts when
    // either order finds the overlap; each unordered pair is visited once.
    forEachBoxPair(chart, OverlapGrid::Cells, [&](size_t t, size_t u) {
        if (u > t && (trianglesOverlapUV(chart, t, u) || trianglesOverlapUV(chart, u, t)))
            pairs.emplace_back(t, u);
        return false;
    });
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

std::vector<std::pair<uint64_t, uint64_t>> findAreaOverlapPairs(const Chart& chart)
{
    std::vector<std::pair<uint64_t, uint64_t>> pairs;
    if (!chartIndicesValid(chart))
        return pairs;
    const auto corners = [&](size_t t, UVPoint out[3]) {
        for (size_t k = 0; k < 3; ++k)
            out[k] = uvPoint(chart, chart.triIndicesUV[3 * t + k]);
    };
    UVPoint a[3], b[3];
    size_t cornersOf = ~size_t(0);
    forEachBoxPair(chart, OverlapGrid::sideForItems(chart.numTriangles()), [&](size_t t, size_t u) {
        if (u <= t)
            return false;
        if (cornersOf != t) {
            corners(t, a);
            cornersOf = t;
        }
        corners(u, b);
        if (trianglesOverlapWithArea(a, b))
            pairs.emplace_back(t, u);
        return false;
    });
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

bool hasBoundaryCrossings(const Chart& chart)
{
    if (chart.triIndicesUV.empty() || !chartIndicesValid(chart))
        return false;
    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    std::vector<std::pair<UVPoint, UVPoint>> edges;
    std::vector<UVBox> boxes;
    for (size_t c = 0; c < chart.triIndicesUV.size(); ++c) {
        if (partners[c].partner != InvalidIndex)
            continue;
        const UVPoint p = uvPoint(chart, chart.triIndicesUV[c]);
        const UVPoint q = uvPoint(chart, chart.triIndicesUV[nextCorner(c)]);
        edges.emplace_back(p, q);
        UVBox box;
        box.include(p.u, p.v);
        box.include(q.u, q.v);
        boxes.push_back(box);
    }
    OverlapGrid grid(chartUVBounds(chart), boxes, OverlapGrid::sideForItems(boxes.size()));
    for (size_t i = 0; i < edges.size(); ++i) {
        const bool crossed = grid.query(boxes[i], [&](size_t j) {
            return j > i && boxesIntersect(boxes[i], boxes[j]) &&
                   segmentsCrossProperly(edges[i].first, edges[i].second, edges[j].first, edges[j].second);
        });
        if (crossed)
            return true;
    }
    return false;
}
