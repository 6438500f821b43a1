#include "meshgen/meshgen.h"
#include "repair/overlap_removal.h"
#include "repair/segmentation.h"
#include "support/test_support.h"
#include "topology/chart_pieces.h"
#include "topology/halfedge.h"
#include "topology/mesh_topology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <functional>
#include <limits>
#include <map>

using testsupport::makeChart;

namespace {

// Every triangle of the original appears exactly once among the pieces, with
// the same 3D indices and the same UV position at every corner.
void expectSameTriangles(const Chart& original, const ChartList& pieces)
{
    using Key = std::array<uint32_t, 3>;
    using Corners = std::array<double, 6>;
    const auto triangle = [](const Chart& c, size_t t) {
        Corners r;
        for (size_t k = 0; k < 3; ++k)
            for (size_t j = 0; j < 2; ++j)
                r[2 * k + j] = c.uvCoords2D[2 * size_t(c.triIndicesUV[3 * t + k]) + j];
        return std::make_pair(Key{c.triIndicesPos[3 * t], c.triIndicesPos[3 * t + 1], c.triIndicesPos[3 * t + 2]}, r);
    };
    std::map<Key, Corners> expected;
    for (size_t t = 0; t < original.numTriangles(); ++t)
        expected.insert(triangle(original, t));
    ASSERT_EQ(expected.size(), original.numTriangles()) << "test mesh must have distinct triangles";
    for (const Chart& piece : pieces) {
        ASSERT_TRUE(chartIndicesValid(piece));
        for (size_t t = 0; t < piece.numTriangles(); ++t) {
            const auto [key, corners] = triangle(piece, t);
            const auto it = expected.find(key);
            ASSERT_NE(it, expected.end());
            EXPECT_EQ(corners, it->second);
            expected.erase(it);
        }
    }
    EXPECT_TRUE(expected.empty());
}

} // namespace

TEST(Segmentation, SplitsKeepEveryTriangleOnce)
{
    // Unit square plus a separate triangle; a triangle folded onto another with a clean neighbour.
    const Chart islands = makeChart({0, 1, 2, 0, 2, 3, 0, 1, 4}, {0, 1, 2, 0, 2, 3, 4, 5, 6},
                                    {0, 0, 1, 0, 1, 1, 0, 1, 3, 0, 4, 0, 3, 1});
    const Chart folded = makeChart({0, 1, 2, 1, 0, 3, 2, 1, 4}, {}, {0, 0, 1, 0, 0, 1, 0.3, 0.3, 1, 1});
    const Chart square = testsupport::unitSquareChart();
    const Chart labelled = makeChart({10, 11, 12, 12, 11, 13, 20, 21, 22}, {0, 1, 2, 2, 1, 3, 4, 5, 6},
                                     {0, 0, 1, 0, 0, 1, 1, 1, 5, 5, 6, 5, 5, 6});
    std::vector<bool> diagonal(6, false);
    diagonal[2] = diagonal[3] = true; // the shared edge 2->0 / 0->2
    struct Case { const char* name; Chart chart; std::function<void(const Chart&, ChartList&)> split; std::vector<size_t> sizes; };
    const std::vector<Case> cases = {
        {"UV islands", islands, [](const Chart& c, ChartList& out) { splitIntoUVComponents(c, out); }, {2, 1}},
        {"overlaps split off", folded, [](const Chart& c, ChartList& out) { splitOffOverlaps(c, out); }, {2, 1}},
        {"no cut", square, [](const Chart& c, ChartList& out) {
             splitChartAlongCuts(c, matchEdges(c.triIndicesUV, c.numUVVertices()), std::vector<bool>(6, false), out); }, {2}},
        {"cut diagonal", square, [&](const Chart& c, ChartList& out) {
             splitChartAlongCuts(c, matchEdges(c.triIndicesUV, c.numUVVertices()), diagonal, out); }, {1, 1}},
        {"by labels", labelled, [](const Chart& c, ChartList& out) { splitChartByLabels(c, {1, 0, 1}, 3, out); }, {1, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartList out;
        c.split(c.chart, out);
        std::vector<size_t> sizes;
        for (const Chart& piece : out)
            sizes.push_back(piece.numTriangles());
        EXPECT_EQ(sizes, c.sizes);
        expectSameTriangles(c.chart, out);
    }
    // Labels renumber UV vertices densely in old order; labels beyond the count leave triangles out.
    ChartList out;
    splitChartByLabels(labelled, {1, 0, 1}, 3, out);
    EXPECT_EQ(out[0].triIndicesUV, (iuv::UIntVector{1, 0, 2}));
    EXPECT_EQ(out[0].uvCoords2D, (iuv::DoubleVector{1, 0, 0, 1, 1, 1}));
    ChartList partial;
    splitChartByLabels(labelled, {0, 5, 0}, 1, partial);
    EXPECT_EQ(partial.at(0).numTriangles(), 2u);
    ChartList none;
    splitIntoUVComponents(Chart(), none);
    EXPECT_TRUE(none.empty());
}

TEST(SegmentationGraph, SeamSeparationOnlyWithinTheTopologysChart)
{
    // An open cylinder of 5 rings unrolled into one chart: its seam of 5 edges
    // has both sides in the chart and repels across each edge.
    const Model model = meshgen::toModel(meshgen::openCylinder(8, 5));
    MeshTopology topology;
    buildMeshTopology(model.charts, model.numVertices(), {}, topology);
    ASSERT_EQ(topology.seamSegmentLengths, (std::vector<uint64_t>{5}));
    for (const auto& [separating, index, repelling] : {std::make_tuple(true, 0, 5), std::make_tuple(false, 0, 0),
                                                       std::make_tuple(true, 1, 0)}) {
        SegmentationGraph graph;
        std::vector<double> weights;
        buildSegmentationGraph(model.charts[0], index, topology, separating, graph, weights);
        // Both sides of the 107 inner edges of the 8 x 5 rectangle (133 edges, 26 on its border).
        ASSERT_EQ(graph.numAdjacencyEdges, 2 * 107u) << separating << index;
        EXPECT_EQ(std::count_if(weights.begin() + graph.numAdjacencyEdges, weights.end(), [](double w) { return w < 0; }),
                  repelling) << separating << index;
    }
}

TEST(Segmentation, DegenerateChartsDoNotBreak)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<Chart, size_t>> cases = {
        {makeChart({0, 1, 2, 1, 0, 3, 0, 1, 4}, {}, {0, 0, 1, 0, 0.5, 1, 0.3, 0.2, 0.5, -1}), 3}, // three on one UV edge
        {makeChart({0, 1, 2, 0, 2, 3, 0, 3, 4}, {}, {0, 0, 0, 0, 0, 0, nan, 1, 1, nan}), 3},       // zero area, NaN
        {Chart(), 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        ChartList pieces;
        segmentChart(cases[i].first, 0, MeshTopology(), pieces, false);
        size_t total = 0;
        for (const Chart& p : pieces)
            total += p.numTriangles();
        EXPECT_EQ(total, cases[i].second) << i;
    }
}
