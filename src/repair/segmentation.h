#pragma once

#include "model/chart.h"
#include "topology/chart_pieces.h"
#include "topology/mesh_topology.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
