#include "topology/layout_stats.h"

#include "geometry/efficiency.h"
#include "topology/boundary_length.h"
#include "topology/overlap.h"

#include <cmath>


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
