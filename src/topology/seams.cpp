#include "topology/seams.h"

#include "topology/overlap.h"

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

std::vector<size_t> seamStarts(const MeshTopology& topology)
{
    std::vector<size_t> starts;
    starts.reserve(topology.seamSegmentLengths.size());
    size_t start = size_t(topology.numBoundaryHalfedges);
    for (uint64_t length : topology.seamSegmentLengths) {
        starts.push_back(start);
        start += size_t(length);
    }
    return starts;
}

namespace {

const size_t NoChart = ~size_t(0);

uint32_t joinedSource(const MeshTopology& topology, uint32_t g)
{
    return topology.joinedMesh.halfedges[twin(g)].to;
}

// Chart of the triangle on the side of joined halfedge g, or NoChart.
size_t chartOfSide(const MeshTopology& topology, uint32_t g)
{
    const auto& joined = topology.joinedMesh.halfedges;
    if (g >= joined.size())
        return NoChart;
    const uint32_t corner = joined[g].corner;
    if (corner == InvalidIndex || corner / 3 >= topology.triangleChart.size())
        return NoChart;
    return size_t(topology.triangleChart[corner / 3]);
}

// Chart halfedge of joined halfedge g in chart c, or InvalidIndex.
uint32_t chartHalfedge(const MeshTopology& topology, uint32_t g, size_t c)
{
    if (g >= topology.joinedToChartHalfedge.size() || c >= topology.chartMeshes.size())
        return InvalidIndex;
    const uint32_t h = topology.joinedToChartHalfedge[g];
    if (h >= topology.chartMeshes[c].halfedges.size())
        return InvalidIndex;
    return h;
}

bool seamHalfedgeValid(const MeshTopology& topology, size_t index)
{
    return index < topology.boundaryAndSeamHalfedges.size() &&
           topology.boundaryAndSeamHalfedges[index] < topology.joinedMesh.halfedges.size();
}

} // namespace

bool findSeamEnds(const MeshTopology& topology, size_t s, SeamEnds& ends)
{
    if (s >= topology.seamSegmentLengths.size() || topology.seamSegmentLengths[s] == 0)
        return false;
    const size_t first = seamStarts(topology)[s];
    const size_t last = first + size_t(topology.seamSegmentLengths[s]) - 1;
    if (!seamHalfedgeValid(topology, first) || !seamHalfedgeValid(topology, last))
        return false;
    SeamEnds e;
    e.seam = s;
    e.firstHalfedge = topology.boundaryAndSeamHalfedges[first];
    e.lastHalfedge = topology.boundaryAndSeamHalfedges[last];
    const size_t c1 = chartOfSide(topology, e.firstHalfedge);
    const size_t c2 = chartOfSide(topology, twin(e.firstHalfedge));
    if (c1 == NoChart || c2 == NoChart)
        return false;
    e.c1 = c1;
    e.c2 = c2;
    const uint32_t h1First = chartHalfedge(topology, e.firstHalfedge, c1);
    const uint32_t h1Last = chartHalfedge(topology, e.lastHalfedge, c1);
    const uint32_t h2First = chartHalfedge(topology, twin(e.firstHalfedge), c2);
    const uint32_t h2Last = chartHalfedge(topology, twin(e.lastHalfedge), c2);
    if (h1First == InvalidIndex || h1Last == InvalidIndex || h2First == InvalidIndex || h2Last == InvalidIndex)
        return false;
    const auto& m1 = topology.chartMeshes[c1].halfedges;
    const auto& m2 = topology.chartMeshes[c2].halfedges;
    e.A1 = m1[twin(h1First)].to;
    e.B1 = m1[h1Last].to;
    e.A2 = m2[h2First].to;
    e.B2 = m2[twin(h2Last)].to;
    ends = e;
    return true;
}

SeamLookup findSeamSegment(const MeshTopology& topology, uint32_t a, uint32_t b)
{
    const std::vector<size_t> starts = seamStarts(topology);
    const auto& joined = topology.joinedMesh.halfedges;
    auto runs = [&](uint32_t g, uint32_t from, uint32_t to) {
        return g < joined.size() && joined[g].to == to && joinedSource(topology, g) == from;
    };
    for (size_t s = 0; s < starts.size(); ++s) {
        if (topology.seamSegmentLengths[s] > 0 && starts[s] < topology.boundaryAndSeamHalfedges.size() &&
            runs(topology.boundaryAndSeamHalfedges[starts[s]], a, b))
            return {s, false};
    }
    for (size_t s = 0; s < starts.size(); ++s) {
        for (size_t k = starts[s]; k < starts[s] + size_t(topology.seamSegmentLengths[s]) &&
                                   k < topology.boundaryAndSeamHalfedges.size();
             ++k) {
            const uint32_t g = topology.boundaryAndSeamHalfedges[k];
            if (runs(g, a, b))
                return {s, false};
            if (runs(g, b, a))
                return {s, true};
        }
    }
    return {};
}

SeamAlignment computeSeamAlignment(const iuv::DoubleVector& movingUV, const iuv::DoubleVector& fixedUV,
                                   uint32_t movingA, uint32_t movingB, uint32_t fixedA, uint32_t fixedB)
{
    SeamAlignment result;
    const size_t nm = movingUV.size() / 2;
    const size_t nf = fixedUV.size() / 2;
    if (movingA >= nm || movingB >= nm || fixedA >= nf || fixedB >= nf)
        return result;
    result.anchorU = fixedUV[2 * size_t(fixedA)];
    result.anchorV = fixedUV[2 * size_t(fixedA) + 1];
    result.translationU = result.anchorU - movingUV[2 * size_t(movingA)];
    result.translationV = result.anchorV - movingUV[2 * size_t(movingA) + 1];

    double d1x = movingUV[2 * size_t(movingB)] - movingUV[2 * size_t(movingA)];
    double d1y = movingUV[2 * size_t(movingB) + 1] - movingUV[2 * size_t(movingA) + 1];
    double d2x = fixedUV[2 * size_t(fixedB)] - result.anchorU;
    double d2y = fixedUV[2 * size_t(fixedB) + 1] - result.anchorV;
    const double l1 = std::sqrt(d1x * d1x + d1y * d1y);
    const double l2 = std::sqrt(d2x * d2x + d2y * d2y);
    if (!(l1 > 0.0) || !(l2 > 0.0) || !std::isfinite(l1) || !std::isfinite(l2))
        return result;
    d1x /= l1;
    d1y /= l1;
    d2x /= l2;
    d2y /= l2;
    // The cosine is kept just above -1 (exactly opposite sides turn by just
    // under pi) and at most 1, so that sides that already point the same way
    // give angle 0 rather than acos(0.99999999) = 1.4e-4.
    const double floor = -0.99999999;
    const double c = std::max(d1x * d2x + d1y * d2y, floor);
    const double s = std::max(d1x * d2y - d1y * d2x, floor);
    result.angle = std::acos(std::min(c, 1.0));
    if (std::min(s, 0.99999999) < 0.0 && result.angle > 0.0)
        result.angle = 6.283185307179586 - result.angle;
    return result;
}

void applySeamAlignment(const SeamAlignment& alignment, iuv::DoubleVector& uvCoords2D)
{
    const double cosA = std::cos(alignment.angle);
    const double sinA = std::sin(alignment.angle);
    for (size_t i = 0; i + 1 < uvCoords2D.size(); i += 2) {
        const double qx = uvCoords2D[i] + alignment.translationU - alignment.anchorU;
        const double qy = uvCoords2D[i + 1] + alignment.translationV - alignment.anchorV;
        uvCoords2D[i] = alignment.anchorU + (qx * cosA - qy * sinA);
        uvCoords2D[i + 1] = alignment.anchorV + (qx * sinA + qy * cosA);
    }
}

namespace {

void printSeamNotFound()
{
    const std::string frame(67, 'x');
    std::cout << frame << std::endl;
    std::cout << "xxx FATAL ERROR: SEAM MUST BE PART OF THE CURRENT SET OF SEAMS! xxx" << std::endl;
    std::cout << frame << std::endl;
}

} // namespace

std::optional<Chart> glueAlongSeam(const ChartList& charts, uint32_t a, uint32_t b, const MeshTopology& topology,
                                   bool moveFirstSide)
{
    const SeamLookup lookup = findSeamSegment(topology, a, b);
    if (!lookup.found()) {
        printSeamNotFound();
        return std::nullopt;
    }
    SeamEnds ends;
    if (!findSeamEnds(topology, lookup.seam, ends) || ends.c1 == ends.c2 || ends.c1 >= charts.size() ||
        ends.c2 >= charts.size())
        return std::nullopt;
    const Chart& chart1 = charts[ends.c1];
    const Chart& chart2 = charts[ends.c2];
    if (!chartIndicesValid(chart1) || !chartIndicesValid(chart2))
        return std::nullopt;
    const size_t n1 = chart1.numUVVertices();
    const size_t n2 = chart2.numUVVertices();
    const auto& mesh1 = topology.chartMeshes[ends.c1].halfedges;
    const auto& mesh2 = topology.chartMeshes[ends.c2].halfedges;
    // The chart meshes must have been built over these charts.
    for (const auto& h : mesh1)
        if (h.to >= n1)
            return std::nullopt;
    for (const auto& h : mesh2)
        if (h.to >= n2)
            return std::nullopt;

    const bool moveFirst = moveFirstSide != lookup.reversed;
    iuv::DoubleVector uv1 = chart1.uvCoords2D;
    iuv::DoubleVector uv2 = chart2.uvCoords2D;
    if (moveFirst)
        applySeamAlignment(computeSeamAlignment(uv1, uv2, ends.A1, ends.B1, ends.A2, ends.B2), uv1);
    else
        applySeamAlignment(computeSeamAlignment(uv2, uv1, ends.A2, ends.B2, ends.A1, ends.B1), uv2);

    Chart glued;
    glued.triIndicesPos = chart1.triIndicesPos;
    glued.triIndicesPos.append(chart2.triIndicesPos);
    for (const Chart* side : {&chart1, &chart2})
        for (size_t t = 0; t < side->numTriangles(); ++t)
            glued.sourceTriangle.push_back(sourceOf(*side, t));
    glued.uvCoords2D = std::move(uv1);
    glued.uvCoords2D.append(uv2);
    glued.triIndicesUV = chart1.triIndicesUV;
    glued.triIndicesUV.reserve(chart1.triIndicesUV.size() + chart2.triIndicesUV.size());
    for (uint32_t k : chart2.triIndicesUV)
        glued.triIndicesUV.push_back(uint32_t(k + n1));

    // Every c1 copy of a seam vertex is replaced by its c2 copy.
    const size_t total = n1 + n2;
    std::vector<uint32_t> mapped(total);
    for (size_t k = 0; k < total; ++k)
        mapped[k] = uint32_t(k);
    std::vector<bool> dropped(total, false);
    const size_t first = seamStarts(topology)[lookup.seam];
    for (size_t k = first; k < first + size_t(topology.seamSegmentLengths[lookup.seam]); ++k) {
        if (!seamHalfedgeValid(topology, k))
            continue;
        const uint32_t g = topology.boundaryAndSeamHalfedges[k];
        if (chartOfSide(topology, g) != ends.c1 || chartOfSide(topology, twin(g)) != ends.c2)
            continue;
        const uint32_t h1 = chartHalfedge(topology, g, ends.c1);
        const uint32_t h2 = chartHalfedge(topology, twin(g), ends.c2);
        if (h1 == InvalidIndex || h2 == InvalidIndex)
            continue;
        const uint32_t source1 = mesh1[twin(h1)].to;
        const uint32_t target1 = mesh1[h1].to;
        mapped[source1] = uint32_t(mesh2[h2].to + n1);
        mapped[target1] = uint32_t(mesh2[twin(h2)].to + n1);
        dropped[source1] = true;
        dropped[target1] = true;
    }
    for (uint32_t& k : glued.triIndicesUV)
        if (k < total)
            k = mapped[k];

    // Remove the dropped vertices, renumbering the others in their old order.
    std::vector<uint32_t> renumbered(total, InvalidIndex);
    iuv::DoubleVector kept;
    kept.reserve(glued.uvCoords2D.size());
    uint32_t next = 0;
    for (size_t k = 0; k < total; ++k) {
        if (dropped[k])
            continue;
        renumbered[k] = next++;
        kept.push_back(glued.uvCoords2D[2 * k]);
        kept.push_back(glued.uvCoords2D[2 * k + 1]);
    }
    for (uint32_t& k : glued.triIndicesUV)
        if (k < total)
            k = renumbered[k];
    glued.uvCoords2D = std::move(kept);
    return glued;
}
