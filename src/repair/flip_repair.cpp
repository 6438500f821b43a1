#include "repair/flip_repair.h"

#include "topology/overlap.h"

#include <algorithm>
#include <iostream>

CompactedUVIndices compactUVVertices(const iuv::UIntVector& uvIndices)
{
    CompactedUVIndices result;
    result.oldVertex.assign(uvIndices.begin(), uvIndices.end());
    std::sort(result.oldVertex.begin(), result.oldVertex.end());
    result.oldVertex.erase(std::unique(result.oldVertex.begin(), result.oldVertex.end()),
                           result.oldVertex.end());
    result.indices.reserve(uvIndices.size());
    for (uint32_t k : uvIndices)
        result.indices.push_back(uint32_t(
            std::lower_bound(result.oldVertex.begin(), result.oldVertex.end(), k) - result.oldVertex.begin()));
    return result;
}

void mirrorIfClockwise(Chart& chart)
{
    if (chart.triIndicesUV.size() < 3 || !chartIndicesValid(chart))
        return;
    const double s = uvTriangleCross(chart, 0);
    for (size_t t = 1; t < chart.numTriangles(); ++t)
        if (uvTriangleCross(chart, t) * s < 0.0)
            return;
    if (s > 0.0)
        return;
    for (size_t i = 0; i < chart.uvCoords2D.size(); i += 2)
        chart.uvCoords2D[i] *= -1.0;
}

namespace {

Chart gatherGroup(const Chart& chart, const iuv::UIntVector& pos, const iuv::UIntVector& uv,
                  const iuv::UIntVector& sources)
{
    Chart group;
    group.triIndicesPos = pos;
    group.sourceTriangle = sources;
    CompactedUVIndices compacted = compactUVVertices(uv);
    group.triIndicesUV = std::move(compacted.indices);
    group.uvCoords2D.reserve(2 * compacted.oldVertex.size());
    for (uint32_t old : compacted.oldVertex) {
        group.uvCoords2D.push_back(chart.uvCoords2D[2 * size_t(old)]);
        group.uvCoords2D.push_back(chart.uvCoords2D[2 * size_t(old) + 1]);
    }
    return group;
}

} // namespace

void fixFlippedTriangles(Chart& chart)
{
    if (chart.triIndicesUV.size() < 4 || !chartIndicesValid(chart))
        return;
    const double s0 = uvTriangleCross(chart, 0);
    iuv::UIntVector keptPos, keptUV, flippedPos, flippedUV, keptSources, flippedSources;
    const size_t n = chart.numTriangles();
    keptPos.reserve(3 * n);
    keptUV.reserve(3 * n);
    size_t numFlipped = 0;
    for (size_t t = 0; t < n; ++t) {
        const bool flipped = t > 0 && uvTriangleCross(chart, t) * s0 < 0.0;
        iuv::UIntVector& pos = flipped ? flippedPos : keptPos;
        iuv::UIntVector& uv = flipped ? flippedUV : keptUV;
        (flipped ? flippedSources : keptSources).push_back(sourceOf(chart, t));
        for (size_t k = 0; k < 3; ++k) {
            pos.push_back(chart.triIndicesPos[3 * t + k]);
            uv.push_back(chart.triIndicesUV[3 * t + k]);
        }
        if (flipped)
            ++numFlipped;
    }
    if (numFlipped > 0)
        std::cout << "Found " << numFlipped << " flipped triangles to fix." << std::endl;

    ChartList groups;
    groups.push_back(gatherGroup(chart, keptPos, keptUV, keptSources));
    groups.push_back(gatherGroup(chart, flippedPos, flippedUV, flippedSources));
    mirrorIfClockwise(groups[1]);

    chart.triIndicesPos.clear();
    chart.triIndicesUV.clear();
    chart.uvCoords2D.clear();
    chart.sourceTriangle.clear();
    mergeCharts(groups, chart);
}
