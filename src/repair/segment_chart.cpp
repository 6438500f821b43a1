#include "topology/overlap.h"
#include "repair/segmentation.h"
#include "topology/chart_pieces.h"

#include <cmath>
#include <numeric>

namespace {

double uvDistance(const Chart& chart, uint32_t i, uint32_t j)
{
    const double du = chart.uvCoords2D[2 * size_t(i)] - chart.uvCoords2D[2 * size_t(j)];
    const double dv = chart.uvCoords2D[2 * size_t(i) + 1] - chart.uvCoords2D[2 * size_t(j) + 1];
    return std::sqrt(du * du + dv * dv);
}

// True when the mesh was built over this chart's UV vertices and triangles.
bool meshFitsChart(const HalfedgeMesh& mesh, const Chart& chart)
{
    if (mesh.empty() || mesh.halfedges.size() % 2 != 0)
        return false;
    const size_t numCorners = chart.triIndicesUV.size();
    const size_t numUV = chart.numUVVertices();
    for (const Halfedge& h : mesh.halfedges) {
        if (h.to >= numUV)
            return false;
        if (h.corner != InvalidIndex && (h.corner >= numCorners || chart.triIndicesUV[h.corner] != h.to))
            return false;
    }
    return true;
}

// Attraction of an edge of UV length length: length / mean, or 0 when either
// is unusable (NaN coordinates, all edges of zero length).
double attraction(double length, double mean)
{
    const double w = length / mean;
    return std::isfinite(w) ? w : 0.0;
}

double finiteMean(const std::vector<double>& lengths)
{
    double sum = 0.0;
    size_t count = 0;
    for (double l : lengths) {
        if (std::isfinite(l)) {
            sum += l;
            ++count;
        }
    }
    return count > 0 ? sum / double(count) : 0.0;
}

void addAdjacencyFromMesh(const Chart& chart, const HalfedgeMesh& mesh, SegmentationGraph& graph,
                          std::vector<double>& weights)
{
    const size_t numPairs = mesh.halfedges.size() / 2;
    std::vector<double> lengths(numPairs);
    for (size_t p = 0; p < numPairs; ++p)
        lengths[p] = uvDistance(chart, mesh.halfedges[2 * p].to, mesh.halfedges[2 * p + 1].to);
    const double mean = finiteMean(lengths);
    for (uint32_t h = 0; h < mesh.halfedges.size(); ++h) {
        const uint32_t c = mesh.halfedges[h].corner;
        const uint32_t d = mesh.halfedges[twin(h)].corner;
        if (c == InvalidIndex || d == InvalidIndex)
            continue;
        graph.addEdge(c / 3, d / 3);
        weights.push_back(attraction(lengths[h / 2], mean));
    }
}

// Same records from the corner partner table, for a chart whose halfedge
// structure cannot be built (an edge shared by three or more triangles).
void addAdjacencyFromCorners(const Chart& chart, const std::vector<CornerMatch>& partners,
                             SegmentationGraph& graph, std::vector<double>& weights)
{
    std::vector<double> lengths(partners.size());
    std::vector<double> edgeLengths;
    for (size_t c = 0; c < partners.size(); ++c) {
        lengths[c] = uvDistance(chart, chart.triIndicesUV[c], chart.triIndicesUV[nextCorner(c)]);
        if (partners[c].partner == InvalidIndex || partners[c].partner > c)
            edgeLengths.push_back(lengths[c]);
    }
    const double mean = finiteMean(edgeLengths);
    for (size_t c = 0; c < partners.size(); ++c) {
        const uint64_t p = partners[c].partner;
        if (p == InvalidIndex || p >= partners.size())
            continue;
        graph.addEdge(c / 3, p / 3);
        weights.push_back(attraction(lengths[c], mean));
    }
}

void addSeamSeparation(const Chart& chart, const HalfedgeMesh& mesh, size_t chartIndex,
                       const MeshTopology& topology, SegmentationGraph& graph, std::vector<double>& weights)
{
    const size_t numPairs = mesh.halfedges.size() / 2;
    std::vector<double> lengths(numPairs);
    for (size_t p = 0; p < numPairs; ++p)
        lengths[p] = uvDistance(chart, mesh.halfedges[2 * p].to, mesh.halfedges[2 * p + 1].to);
    const double mean = finiteMean(lengths);

    const auto& joined = topology.joinedMesh.halfedges;
    size_t start = size_t(topology.numBoundaryHalfedges);
    for (uint64_t length : topology.seamSegmentLengths) {
        for (size_t k = start; k < start + length && k < topology.boundaryAndSeamHalfedges.size(); ++k) {
            const uint32_t g = topology.boundaryAndSeamHalfedges[k];
            if (g >= joined.size() || twin(g) >= joined.size())
                continue;
            const uint32_t cg = joined[g].corner;
            const uint32_t ct = joined[twin(g)].corner;
            if (cg == InvalidIndex || ct == InvalidIndex || cg / 3 >= topology.triangleChart.size() ||
                ct / 3 >= topology.triangleChart.size())
                continue;
            if (topology.triangleChart[cg / 3] != chartIndex || topology.triangleChart[ct / 3] != chartIndex)
                continue;
            if (g >= topology.joinedToChartHalfedge.size() || twin(g) >= topology.joinedToChartHalfedge.size())
                continue;
            const uint32_t h1 = topology.joinedToChartHalfedge[g];
            const uint32_t h2 = topology.joinedToChartHalfedge[twin(g)];
            if (h1 >= mesh.halfedges.size() || h2 >= mesh.halfedges.size())
                continue;
            const uint32_t c1 = mesh.halfedges[h1].corner;
            const uint32_t c2 = mesh.halfedges[h2].corner;
            if (c1 == InvalidIndex || c2 == InvalidIndex)
                continue;
            graph.addEdge(c1 / 3, c2 / 3);
            weights.push_back(-attraction(lengths[h1 / 2], mean));
        }
        start += size_t(length);
    }
}

} // namespace

void buildSegmentationGraph(const Chart& chart, size_t chartIndex, const MeshTopology& topology,
                            bool seamSeparating, SegmentationGraph& graph, std::vector<double>& weights)
{
    graph = SegmentationGraph(chart.numTriangles());
    weights.clear();

    // Adjacency records from the chart's halfedge structure; a topology that
    // does not describe this chart is replaced by a local build.
    const HalfedgeMesh* mesh = nullptr;
    HalfedgeMesh local;
    const bool topologyFits =
        chartIndex < topology.chartMeshes.size() && meshFitsChart(topology.chartMeshes[chartIndex], chart);
    if (topologyFits)
        mesh = &topology.chartMeshes[chartIndex];
    else if (!buildHalfedgeMesh(chart.triIndicesUV, chart.numUVVertices(), local))
        mesh = &local;
    if (mesh)
        addAdjacencyFromMesh(chart, *mesh, graph, weights);
    else
        addAdjacencyFromCorners(chart, matchEdges(chart.triIndicesUV, chart.numUVVertices()), graph, weights);
    graph.numAdjacencyEdges = graph.edges.size();

    for (const auto& pair : findOverlappingTrianglePairs(chart)) {
        graph.addEdge(pair.first, pair.second);
        weights.push_back(OverlapWeight);
    }

    // Seams are only known for the chart mesh of the topology itself.
    if (seamSeparating && topologyFits)
        addSeamSeparation(chart, *mesh, chartIndex, topology, graph, weights);

    graph.buildAdjacency();
}

void segmentChart(const Chart& chart, size_t chartIndex, const MeshTopology& topology, ChartList& out,
                  bool seamSeparating)
{
    const size_t n = chart.numTriangles();
    if (n == 0)
        return;
    if (!chartIndicesValid(chart)) {
        out.push_back(chart);
        return;
    }
    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    SegmentationGraph graph;
    std::vector<double> weights;
    buildSegmentationGraph(chart, chartIndex, topology, seamSeparating, graph, weights);

    std::vector<uint64_t> initial(n);
    std::iota(initial.begin(), initial.end(), uint64_t(0));
    const std::vector<uint64_t> labels = optimizeSets(graph, weights, initial, SegmentationOptions());

    std::vector<bool> cut(partners.size(), false);
    for (size_t i = 0; i < graph.numAdjacencyEdges; ++i) {
        const uint64_t a = graph.edges[i].first;
        const uint64_t b = graph.edges[i].second;
        if (labels[a] == labels[b])
            continue;
        for (size_t k = 3 * a; k < 3 * a + 3; ++k) {
            const uint64_t p = partners[k].partner;
            if (p != InvalidIndex && p < partners.size() && p / 3 == b) {
                cut[k] = true;
                cut[p] = true;
                break;
            }
        }
    }
    splitChartAlongCuts(chart, partners, cut, out);
}

bool removeOverlapsBySegmentation(const ChartList& charts, size_t vertexCount3D,
                                  const iuv::UIntVector& coneSingularities, ChartList& out, bool seamSeparating)
{
    MeshTopology topology;
    buildMeshTopology(charts, vertexCount3D, coneSingularities, topology);
    bool segmented = false;
    for (size_t i = 0; i < charts.size(); ++i) {
        if (hasUVOverlaps(charts[i])) {
            segmentChart(charts[i], i, topology, out, seamSeparating);
            segmented = true;
        } else {
            out.push_back(charts[i]);
        }
    }
    return segmented;
}
