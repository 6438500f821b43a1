#include "topology/layout_stats.h"

#include "geometry/efficiency.h"
#include "geometry/overlap_grid.h"
#include "topology/boundary_length.h"
#include "topology/overlap.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

std::vector<UVBox> triangleBoxes(const Chart& chart, size_t first, size_t count)
{
    std::vector<UVBox> boxes(count);
    for (size_t t = 0; t < count; ++t) {
        for (size_t k = 0; k < 3; ++k) {
            const size_t v = chart.triIndicesUV[3 * (first + t) + k];
            boxes[t].include(chart.uvCoords2D[2 * v], chart.uvCoords2D[2 * v + 1]);
        }
    }
    return boxes;
}

// True when a triangle of a overlaps a triangle of b (touching does not count).
bool chartPairOverlaps(const Chart& a, const Chart& b)
{
    Chart pair;
    mergeCharts(ChartList{a, b}, pair);
    const size_t nA = a.numTriangles();
    const size_t nB = b.numTriangles();
    const std::vector<UVBox> boxesA = triangleBoxes(pair, 0, nA);
    const std::vector<UVBox> boxesB = triangleBoxes(pair, nA, nB);
    OverlapGrid grid(chartUVBounds(b), boxesB);
    for (size_t t = 0; t < nA; ++t) {
        const bool hit = grid.query(boxesA[t], [&](size_t u) {
            return boxesIntersect(boxesA[t], boxesB[u]) && trianglesOverlapUV(pair, t, nA + u);
        });
        if (hit)
            return true;
    }
    return false;
}

// Charts of a packed layout lie side by side and may touch along their
// boundaries; only a real overlap of triangles of two charts counts.
bool chartsOverlapEachOther(const ChartList& charts)
{
    std::vector<UVBox> boxes;
    boxes.reserve(charts.size());
    for (const Chart& c : charts)
        boxes.push_back(chartUVBounds(c));
    std::vector<size_t> order(charts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t i, size_t j) { return boxes[i].minU < boxes[j].minU; });
    for (size_t i = 0; i < order.size(); ++i) {
        const UVBox& bi = boxes[order[i]];
        if (bi.isInverted())
            continue;
        for (size_t j = i + 1; j < order.size() && boxes[order[j]].minU <= bi.maxU; ++j) {
            const UVBox& bj = boxes[order[j]];
            if (bj.isInverted() || !boxesIntersect(bi, bj))
                continue;
            if (chartPairOverlaps(charts[order[i]], charts[order[j]]))
                return true;
        }
    }
    return false;
}

} // namespace

UnwrappingStats computeStats(const ChartList& charts, const iuv::DoubleVector& sharedPositions)
{
    UnwrappingStats stats;
    Chart merged;
    mergeCharts(charts, merged);
    stats.numTriangles = merged.triIndicesPos.size() / 3;
    stats.flipsFound = hasUVFlips(merged);
    // Each chart's own boundary must not cross itself, and no two charts may
    // overlap. Testing the boundary of all charts merged into one would count
    // charts that merely touch, as packed charts do, as overlapping.
    stats.overlapsFound = std::any_of(charts.begin(), charts.end(), [](const Chart& c) { return hasUVOverlaps(c); }) ||
                          chartsOverlapEachOther(charts);
    stats.numCharts = charts.size();
    stats.numVertices = sharedPositions.size() / 3;
    stats.packingEfficiency = atlasPackingEfficiency(charts);
    // An empty layout (or one without area) has no meaningful ratio; report 0
    // instead of a NaN or infinity that would make the statistics file invalid.
    const double area = totalUVArea(charts);
    stats.normBLen = area > 0.0 ? totalBoundaryLength(charts) / std::sqrt(area) : 0.0;
    return stats;
}
