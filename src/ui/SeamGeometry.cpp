#include "ui/SeamGeometry.h"

#include "topology/halfedge.h"

SeamGeometry::SeamGeometry(const Model& model, const MeshTopology& topology)
    : model_(model), topology_(topology)
{
    firstTriangle_.reserve(model.charts.size());
    size_t triangles = 0;
    for (const Chart& chart : model.charts) {
        firstTriangle_.push_back(triangles);
        triangles += chart.numTriangles();
    }
    const MeshTopology& topo = topology_;
    size_t start = static_cast<size_t>(topo.numBoundaryHalfedges);
    seamStart_.reserve(topo.seamSegmentLengths.size());
    for (uint64_t length : topo.seamSegmentLengths) {
        seamStart_.push_back(start);
        start += static_cast<size_t>(length);
    }
}

bool SeamGeometry::chartCorner(uint32_t g, size_t& chart, size_t& localCorner) const
{
    const MeshTopology& topo = topology_;
    if (g >= topo.joinedMesh.halfedges.size())
        return false;
    const uint32_t corner = topo.joinedMesh.halfedges[g].corner;
    if (corner == InvalidIndex)
        return false;
    const size_t triangle = corner / 3;
    if (triangle >= topo.triangleChart.size())
        return false;
    const uint64_t c = topo.triangleChart[triangle];
    if (c >= model_.charts.size() || triangle < firstTriangle_[c])
        return false;
    const size_t local = triangle - firstTriangle_[c];
    if (local >= model_.charts[c].numTriangles())
        return false;
    chart = static_cast<size_t>(c);
    localCorner = 3 * local + corner % 3;
    return true;
}

QPointF SeamGeometry::uvAt(size_t chart, size_t localCorner) const
{
    const Chart& c = model_.charts[chart];
    const uint32_t v = c.triIndicesUV[localCorner];
    return QPointF(c.uvCoords2D[2 * size_t(v)], c.uvCoords2D[2 * size_t(v) + 1]);
}

bool SeamGeometry::edgeUVVertices(uint32_t g, size_t& chart, uint32_t& from, uint32_t& to) const
{
    size_t corner = 0;
    if (!chartCorner(g, chart, corner))
        return false;
    const Chart& c = model_.charts[chart];
    if (c.triIndicesUV.size() != c.triIndicesPos.size())
        return false;
    // The halfedge's corner sits at its target; its source is the corner before.
    const size_t uvCount = c.numUVVertices();
    from = c.triIndicesUV[prevCorner(corner)];
    to = c.triIndicesUV[corner];
    return from < uvCount && to < uvCount;
}

bool SeamGeometry::edgeUV(uint32_t g, EdgeUV& out) const
{
    size_t chart = 0;
    uint32_t from = 0;
    uint32_t to = 0;
    if (!edgeUVVertices(g, chart, from, to))
        return false;
    const iuv::DoubleVector& uv = model_.charts[chart].uvCoords2D;
    out.chart = chart;
    out.from = QPointF(uv[2 * size_t(from)], uv[2 * size_t(from) + 1]);
    out.to = QPointF(uv[2 * size_t(to)], uv[2 * size_t(to) + 1]);
    return true;
}

bool SeamGeometry::edgeChart(uint32_t g, size_t& chart) const
{
    size_t corner = 0;
    return chartCorner(g, chart, corner);
}

std::vector<uint32_t> SeamGeometry::seamHalfedges(size_t s) const
{
    const MeshTopology& topo = topology_;
    if (s >= seamStart_.size())
        return {};
    const size_t start = seamStart_[s];
    const size_t length = static_cast<size_t>(topo.seamSegmentLengths[s]);
    if (start > topo.boundaryAndSeamHalfedges.size() || length > topo.boundaryAndSeamHalfedges.size() - start)
        return {};
    return std::vector<uint32_t>(topo.boundaryAndSeamHalfedges.begin() + static_cast<std::ptrdiff_t>(start),
                                 topo.boundaryAndSeamHalfedges.begin() + static_cast<std::ptrdiff_t>(start + length));
}
