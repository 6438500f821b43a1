#include "topology/layout_stats.h"

#include "geometry/efficiency.h"
#include "topology/boundary_length.h"
#include "topology/overlap.h"

#include <cmath>
#include <cstring>

namespace {

// Same length and the same bits (so -0.0 differs from 0.0 and a NaN equals
// itself).
template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool sameCharts(const ChartList& a, const ChartList& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameBits(a[i].triIndicesPos, b[i].triIndicesPos) || !sameBits(a[i].triIndicesUV, b[i].triIndicesUV) ||
            !sameBits(a[i].uvCoords2D, b[i].uvCoords2D) || !sameBits(a[i].sourceTriangle, b[i].sourceTriangle))
            return false;
    return true;
}

} // namespace


UnwrappingStats computeStats(const ChartList& charts, const iuv::DoubleVector& sharedPositions)
{
    UnwrappingStats stats;
    Chart merged;
    mergeCharts(charts, merged);
    stats.numTriangles = merged.triIndicesPos.size() / 3;
    stats.flipsFound = hasUVFlips(merged);
    // Two triangles covering common area, in one chart or in two, or a
    // boundary running across itself. Charts that merely touch, as packed
    // charts do, and a boundary touching itself at a point do not count.
    stats.overlapsFound = !findAreaOverlapPairs(merged).empty() || hasBoundaryCrossings(merged);
    stats.numCharts = charts.size();
    stats.numVertices = sharedPositions.size() / 3;
    stats.packingEfficiency = atlasPackingEfficiency(charts);
    // An empty layout (or one without area) has no meaningful ratio; report 0
    // instead of a NaN or infinity that would make the statistics file invalid.
    const double area = totalUVArea(charts);
    stats.normBLen = area > 0.0 ? totalBoundaryLength(charts) / std::sqrt(area) : 0.0;
    return stats;
}

UnwrappingStats StatsCache::get(const ChartList& charts, const iuv::DoubleVector& sharedPositions)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (valid_ && sameBits(positions_, sharedPositions) && sameCharts(charts_, charts))
        return stats_;
    stats_ = computeStats(charts, sharedPositions);
    charts_ = charts;
    positions_ = sharedPositions;
    valid_ = true;
    return stats_;
}
