#include "topology/mesh_topology.h"

#include "base/console.h"


void MeshTopology::clear() { *this = MeshTopology(); }

size_t MeshTopology::seamStart(size_t s) const
{
    size_t start = static_cast<size_t>(numBoundaryHalfedges);
    for (size_t i = 0; i < s && i < seamSegmentLengths.size(); ++i)
        start += static_cast<size_t>(seamSegmentLengths[i]);
    return start;
}

bool isSeamHalfedge(uint32_t g, const MeshTopology& topology)
{
    const HalfedgeMesh& joined = topology.joinedMesh;
    if (g >= joined.halfedges.size())
        return false;
    if (joined.isBoundary(g))
        return true;
    if (joined.isBoundary(twin(g)))
        return false;

    // Without chart halfedges on both sides (a chart whose UV mesh could not
    // be built) there is no UV information to cut along.
    if (g >= topology.joinedToChartHalfedge.size())
        return false;
    const uint32_t h1 = topology.joinedToChartHalfedge[g];
    const uint32_t h2 = topology.joinedToChartHalfedge[twin(g)];
    if (h1 == InvalidIndex || h2 == InvalidIndex)
        return false;

    const size_t t1 = joined.halfedges[g].corner / 3;
    const size_t t2 = joined.halfedges[twin(g)].corner / 3;
    if (t1 >= topology.triangleChart.size() || t2 >= topology.triangleChart.size())
        return false;
    const uint64_t c1 = topology.triangleChart[t1];
    const uint64_t c2 = topology.triangleChart[t2];
    if (c1 != c2)
        return true;

    if (c1 >= topology.chartMeshes.size())
        return false;
    const HalfedgeMesh& chart = topology.chartMeshes[c1];
    if (h1 >= chart.halfedges.size() || h2 >= chart.halfedges.size())
        return false;
    return chart.source(h1) != chart.halfedges[h2].to || chart.halfedges[h1].to != chart.source(h2);
}

namespace {

// Whole triangles of a chart (a trailing partial triangle is ignored, so
// triangle numbers stay aligned between the charts and the joined mesh).
size_t wholeTriangles(const iuv::UIntVector& indices) { return indices.size() / 3; }

void buildChartMeshes(const ChartList& charts, MeshTopology& out)
{
    out.chartMeshes.resize(charts.size());
    for (size_t i = 0; i < charts.size(); ++i) {
        HalfedgeMesh& mesh = out.chartMeshes[i];
        mesh.clear();
        if (buildHalfedgeMesh(charts[i].triIndicesUV, charts[i].numUVVertices(), mesh)) {
            mesh.clear();
            console() << "Cannot construct halfedges - is the input OK?" << std::endl;
            out.unbuiltCharts.push_back(i);
        }
    }
}

// Maps every chart halfedge inside a triangle to the joined halfedge along
// the same triangle edge (both carry the corner at their target, offset by
// the chart's first joined triangle), and records the chart of each joined
// triangle.
void mapChartHalfedges(const ChartList& charts, MeshTopology& out)
{
    const HalfedgeMesh& joined = out.joinedMesh;
    std::vector<uint32_t> byCorner(3 * out.triangleChart.size(), InvalidIndex);
    for (size_t g = 0; g < joined.halfedges.size(); ++g) {
        const uint32_t corner = joined.halfedges[g].corner;
        if (corner != InvalidIndex && corner < byCorner.size())
            byCorner[corner] = static_cast<uint32_t>(g);
    }

    size_t firstTriangle = 0;
    for (size_t i = 0; i < charts.size(); ++i) {
        const size_t numTriangles = wholeTriangles(charts[i].triIndicesPos);
        const HalfedgeMesh& mesh = out.chartMeshes[i];
        for (size_t h = 0; h < mesh.halfedges.size(); ++h) {
            const uint32_t corner = mesh.halfedges[h].corner;
            if (corner == InvalidIndex || corner / 3 >= numTriangles)
                continue;
            const uint32_t g = byCorner[3 * firstTriangle + corner];
            if (g == InvalidIndex)
                continue;
            out.joinedToChartHalfedge[g] = static_cast<uint32_t>(h);
            out.triangleChart[joined.halfedges[g].corner / 3] = i;
        }
        firstTriangle += numTriangles;
    }
}

// Seam segment decomposition of the joined mesh.
class SeamWalker {
public:
    SeamWalker(MeshTopology& topology, const iuv::UIntVector& cones)
        : topo_(topology), mesh_(topology.joinedMesh), limit_(mesh_.halfedges.size() + 1),
          seam_(mesh_.halfedges.size(), false), visited_(mesh_.halfedges.size(), false),
          junction_(mesh_.vertexHalfedge.size(), false)
    {
        for (size_t g = 0; g < mesh_.halfedges.size(); ++g)
            seam_[g] = isSeamHalfedge(static_cast<uint32_t>(g), topo_);
        markJunctions(cones);
    }

    void listBoundary()
    {
        for (size_t g = 0; g < mesh_.halfedges.size(); ++g) {
            if (mesh_.isBoundary(static_cast<uint32_t>(g))) {
                topo_.boundaryAndSeamHalfedges.push_back(static_cast<uint32_t>(g));
                visited_[g] = true;
            }
        }
        topo_.numBoundaryHalfedges = topo_.boundaryAndSeamHalfedges.size();
    }

    void collectSegments()
    {
        for (size_t i = 0; i < mesh_.halfedges.size(); ++i) {
            const uint32_t g = static_cast<uint32_t>(i);
            if (!isInteriorSeam(g) || visited_[g])
                continue;
            collectForward(findStart(g));
        }
    }

private:
    // A vertex where more than two seam or boundary edges meet, or a cone.
    // Counting over all outgoing halfedges equals rotating around a vertex
    // with a single fan and also sees every fan of a pinched vertex.
    void markJunctions(const iuv::UIntVector& cones)
    {
        std::vector<uint32_t> count(junction_.size(), 0);
        for (size_t g = 0; g < mesh_.halfedges.size(); ++g) {
            const uint32_t h = static_cast<uint32_t>(g);
            if (seam_[h] || mesh_.isBoundary(twin(h)))
                ++count[mesh_.source(h)];
        }
        for (size_t v = 0; v < count.size(); ++v)
            junction_[v] = count[v] > 2;
        for (uint32_t v : cones)
            if (v < junction_.size())
                junction_[v] = true;
    }

    uint32_t rotate(uint32_t o) const { return mesh_.halfedges[twin(o)].next; }

    // Segments hold interior edges only. A boundary halfedge carries the seam
    // flag too, but a vertex where a seam meets the boundary is a junction,
    // so on consistently oriented input the walks never meet one anyway.
    bool isInteriorSeam(uint32_t o) const { return seam_[o] && !mesh_.isBoundary(o) && !mesh_.isBoundary(twin(o)); }

    // First outgoing halfedge with the seam flag when rotating from `first`,
    // or InvalidIndex when the rotation reaches `stop` (or breaks off) first.
    uint32_t findSeamOutgoing(uint32_t first, uint32_t stop) const
    {
        uint32_t o = first;
        for (size_t steps = 0; o != InvalidIndex && steps < limit_; ++steps) {
            if (o == stop)
                return InvalidIndex;
            if (isInteriorSeam(o))
                return o;
            o = rotate(o);
        }
        return InvalidIndex;
    }

    uint32_t findStart(uint32_t g) const
    {
        uint32_t s = g;
        for (size_t steps = 0; steps < limit_; ++steps) {
            if (junction_[mesh_.source(s)])
                break;
            const uint32_t o = findSeamOutgoing(rotate(s), s);
            if (o == InvalidIndex)
                break;
            const uint32_t predecessor = twin(o);
            // Never start on a halfedge that another segment already holds.
            if (visited_[predecessor])
                break;
            s = predecessor;
            if (s == g)
                break; // a closed seam starts at g
        }
        return s;
    }

    void collectForward(uint32_t start)
    {
        uint64_t length = 0;
        uint32_t s = start;
        for (;;) {
            visited_[s] = true;
            visited_[twin(s)] = true;
            topo_.boundaryAndSeamHalfedges.push_back(s);
            ++length;
            if (junction_[mesh_.halfedges[s].to])
                break;
            const uint32_t successor = findSeamOutgoing(mesh_.halfedges[s].next, twin(s));
            if (successor == InvalidIndex || successor == start || visited_[successor])
                break;
            s = successor;
        }
        topo_.seamSegmentLengths.push_back(length);
    }

    MeshTopology& topo_;
    const HalfedgeMesh& mesh_;
    const size_t limit_;
    std::vector<bool> seam_;
    std::vector<bool> visited_;
    std::vector<bool> junction_;
};

} // namespace

void buildMeshTopology(const ChartList& charts, size_t vertexCount3D, const iuv::UIntVector& coneSingularities,
                       MeshTopology& out)
{
    out.clear();

    size_t totalTriangles = 0;
    for (const Chart& chart : charts)
        totalTriangles += wholeTriangles(chart.triIndicesPos);
    iuv::UIntVector joinedIndices;
    joinedIndices.reserve(3 * totalTriangles);
    for (const Chart& chart : charts)
        joinedIndices.insert(joinedIndices.end(), chart.triIndicesPos.begin(),
                             chart.triIndicesPos.begin() + 3 * wholeTriangles(chart.triIndicesPos));

    if (buildHalfedgeMesh(joinedIndices, vertexCount3D, out.joinedMesh))
        out.joinedMesh.clear();
    const bool joinedBuilt = !out.joinedMesh.empty();
    if (!joinedBuilt)
        console() << "Cannot construct joined 3D halfedges - is the input OK?" << std::endl;

    // The chart meshes do not depend on the joined mesh: they are built (and
    // their failures reported) either way.
    buildChartMeshes(charts, out);
    if (!joinedBuilt)
        return;

    out.joinedToChartHalfedge.assign(out.joinedMesh.halfedges.size(), InvalidIndex);
    out.triangleChart.assign(totalTriangles, 0);
    mapChartHalfedges(charts, out);

    SeamWalker walker(out, coneSingularities);
    walker.listBoundary();
    walker.collectSegments();
}
