#pragma once

#include "model/chart.h"
#include "topology/halfedge.h"
#include "topology/mesh_topology.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends labelCount new charts; triangle t goes to chart labels[t]. Each new
// chart renumbers its used UV vertices densely in their old order; 3D indices
// are unchanged. Triangles whose label is not below labelCount are left out.
void splitChartByLabels(const Chart& chart, const std::vector<uint64_t>& labels, size_t labelCount,
                        ChartList& out);

// Labels the triangles of a chart by connected pieces: a piece grows from its
// lowest unlabelled triangle through every corner c (of triangle from) whose
// partner corner lies in triangle to, as long as canCross(c, from, to) holds.
// Labels count up from 0 in order of each piece's lowest triangle (the result
// does not depend on the order in which a piece is explored). Returns the
// number of pieces.
template <typename CanCross>
size_t labelTrianglePieces(size_t numTriangles, const std::vector<CornerMatch>& partners, CanCross canCross,
                           std::vector<uint64_t>& labels)
{
    const uint64_t unset = ~uint64_t(0);
    labels.assign(numTriangles, unset);
    std::vector<size_t> stack;
    uint64_t count = 0;
    for (size_t start = 0; start < numTriangles; ++start) {
        if (labels[start] != unset)
            continue;
        labels[start] = count;
        stack.push_back(start);
        while (!stack.empty()) {
            const size_t from = stack.back();
            stack.pop_back();
            for (size_t c = 3 * from; c < 3 * from + 3 && c < partners.size(); ++c) {
                const uint64_t p = partners[c].partner;
                if (p == InvalidIndex || p / 3 >= numTriangles)
                    continue;
                const size_t to = size_t(p / 3);
                if (labels[to] != unset || !canCross(c, from, to))
                    continue;
                labels[to] = count;
                stack.push_back(to);
            }
        }
        ++count;
    }
    return size_t(count);
}

// Labels the triangles through partner corners that are not marked cut (cutCorners has one entry per corner) and appends one
// chart per connected piece, in order of each piece's lowest triangle.
void splitChartAlongCuts(const Chart& chart, const std::vector<CornerMatch>& partners,
                         const std::vector<bool>& cutCorners, ChartList& out);

// The weighted graph of one chart's triangles. Edge records may be parallel;
// every record appears in the adjacency of both its endpoints.
struct SegmentationGraph {
    struct Entry {
        uint64_t node;
        uint64_t edge;
    };

    size_t numNodes = 0;
    std::vector<std::pair<uint64_t, uint64_t>> edges;
    // The leading records that stand for shared triangle edges; only these
    // can become cuts.
    size_t numAdjacencyEdges = 0;
    // Adjacency in compressed rows: the entries of node n are
    // entries[offsets[n] .. offsets[n + 1]).
    std::vector<size_t> offsets;
    std::vector<Entry> entries;

    explicit SegmentationGraph(size_t nodes = 0) : numNodes(nodes) {}
    // Appends an edge record; returns its index. Endpoints must be below numNodes.
    size_t addEdge(uint64_t a, uint64_t b);
    // Builds the adjacency lists from the edge records (call after the last addEdge).
    void buildAdjacency();

    const Entry* begin(uint64_t n) const { return entries.data() + offsets[n]; }
    const Entry* end(uint64_t n) const { return entries.data() + offsets[n + 1]; }
};

struct SegmentationOptions {
    uint64_t maxMoves = ~uint64_t(0);
    uint64_t maxIterations = 100;
    double minGain = 1e-6;
    bool verbose = false;
    bool createNewSets = true;
};

// Weight of an edge between two overlapping triangles: the most negative
// finite double, which outweighs every other term.
constexpr double OverlapWeight = -1.7976931348623157e308;

// Connected components of nodes through adjacency entries whose ends carry the
// same label, numbered in order of their lowest node.
std::vector<uint64_t> labelSegments(const SegmentationGraph& graph, const std::vector<uint64_t>& labels);

// Sum of the weights of the edge records whose endpoints lie in different
// segments (segment labels as from labelSegments). Sums of overlap weights
// saturate at minus infinity here; the optimiser itself compares exactly.
double segmentationEnergy(const SegmentationGraph& graph, const std::vector<double>& weights,
                          const std::vector<uint64_t>& segmentLabels);

// Local search over sets of nodes minimising the segmentation energy. Returns
// the segment label of every node (the segmentation of the last accepted
// iteration). Labels of the wrong size are replaced by one set per node.
std::vector<uint64_t> optimizeSets(const SegmentationGraph& graph, const std::vector<double>& weights,
                                   const std::vector<uint64_t>& initialLabels,
                                   const SegmentationOptions& options);

// Builds the segmentation graph of chart chartIndex of the topology (adjacency,
// overlap and, when seamSeparating, seam-separating records) and its weights.
void buildSegmentationGraph(const Chart& chart, size_t chartIndex, const MeshTopology& topology,
                            bool seamSeparating, SegmentationGraph& graph, std::vector<double>& weights);

// Cuts the chart into segments of its triangle graph and appends the pieces.
void segmentChart(const Chart& chart, size_t chartIndex, const MeshTopology& topology, ChartList& out,
                  bool seamSeparating);

// Segments every chart whose UV boundary crosses itself and copies the others
// into out. Returns true when at least one chart was segmented.
bool removeOverlapsBySegmentation(const ChartList& charts, size_t vertexCount3D,
                                  const iuv::UIntVector& coneSingularities, ChartList& out,
                                  bool seamSeparating);
