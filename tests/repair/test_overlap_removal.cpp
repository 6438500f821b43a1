#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "packing/compaction.h"
#include "packing/pack.h"
#include "repair/flip_repair.h"
#include "repair/overlap_removal.h"
#include "repair/segmentation.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "topology/chart_pieces.h"
#include "topology/halfedge.h"
#include "topology/layout_stats.h"
#include "topology/mesh_topology.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <map>
#include <tuple>

using testsupport::makeChart;

namespace {

size_t triangleCount(const ChartList& charts)
{
    size_t n = 0;
    for (const Chart& c : charts)
        n += c.numTriangles();
    return n;
}

// Area that two triangles of the layout share, as a share of the UV area.
double sharedAreaShare(const ChartList& charts)
{
    const testsupport::UVCoverage c = testsupport::uvCoverage(charts);
    return c.summedArea > 0.0 ? c.overlapArea / c.summedArea : 0.0;
}

// Every triangle of the original appears once among the pieces, with its 3D indices and corner UVs.
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

TEST(RunOverlapRemoval, LeavesPackedOverlapFreeChartsWithEveryTriangle)
{
    // Pulling one inner UV vertex far out flips and folds the triangles around it.
    Model pulled = meshgen::toModel(meshgen::flatGrid(6, 6, meshgen::Outline::Rectangle));
    const uint32_t inner = pulled.charts[0].triIndicesUV[3 * 20];
    pulled.charts[0].uvCoords2D[2 * inner] += 0.6;
    pulled.charts[0].uvCoords2D[2 * inner + 1] += 0.45;
    // No flips, one piece, no overlap: the loaded (packed) layout stays.
    Model packed = meshgen::toModel(meshgen::flatGrid(4, 3, meshgen::Outline::LShape));
    Atlas packing;
    testing::internal::CaptureStdout();
    packCharts(packed.charts, packed.sharedPositions, false, packing);
    compactCharts(packed.charts);
    testing::internal::GetCapturedStdout();
    // The folded meshes of the generator (strip, mushroom, sheet, spiral ramp) run through both removals
    // in the end-to-end tests, with the same area oracle and the console lines.
    struct Case { const char* name; Model model; bool trivial; bool kept = false; };
    const std::vector<Case> cases = {
        {"flipped and folded grid", pulled, false},
        {"empty", Model(), false},
        {"empty, plain removal", Model(), true},
        {"packed, untouched", packed, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.trivial ? " (plain)" : ""));
        Model m = c.model;
        const size_t before = triangleCount(m.charts);
        Atlas atlas;
        testing::internal::CaptureStdout();
        if (c.trivial)
            runTrivialOverlapRemoval(m, atlas);
        else
            runOverlapRemoval(m, atlas);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(triangleCount(m.charts), before);
        EXPECT_LE(sharedAreaShare(m.charts), 1e-9);
        for (const Chart& chart : m.charts)
            EXPECT_FALSE(hasUVOverlaps(chart) || (!c.trivial && hasUVFlips(chart)));
        const UnwrappingStats stats = computeStats(m.charts, m.sharedPositions);
        EXPECT_FALSE(stats.overlapsFound);
        EXPECT_LE(stats.packingEfficiency, 100.0);
        if (c.kept) {
            ASSERT_EQ(m.charts.size(), 1u);
            EXPECT_EQ(m.charts[0].uvCoords2D, c.model.charts[0].uvCoords2D);
        }
    }
}

TEST(FixFlippedTriangles, TheMinorityOrientationBecomesItsOwnIsland)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // A 2 x 1 strip whose right square (triangles 2, 3) is clockwise:
    //   3 - 4 - 5
    //   | / | \ |
    //   0 - 1 - 2
    const Chart strip = makeChart({0, 1, 4, 0, 4, 3, 1, 5, 2, 1, 4, 5}, {}, {0, 0, 1, 0, 2, 0, 0, 1, 1, 1, 2, 1});
    struct Case { const char* name; Chart chart; std::string message; iuv::UIntVector uv; bool allCounterClockwise; };
    const std::vector<Case> cases = {
        // Kept triangles first; the flipped group gets copies of its UV vertices and is mirrored.
        {"clockwise group", strip, "Found 2 flipped triangles to fix.\n", {0, 1, 3, 0, 3, 2, 4, 7, 5, 4, 6, 7}, true},
        // The first triangle sets the orientation: the other one moves out, unmirrored.
        {"clockwise first", makeChart({0, 3, 1, 1, 2, 3}, {}, {0, 0, 1, 0, 1, 1, 0, 1}), "Found 1 flipped triangles to fix.\n", {0, 2, 1, 3, 4, 5}, false},
        // A zero-area triangle stays; the unused UV vertex 5 is dropped.
        {"zero area", makeChart({0, 1, 2, 1, 3, 4}, {}, {0, 0, 1, 0, 0, 1, 2, 0, 3, 0, 9, 9}), "", {0, 1, 2, 1, 3, 4}, false},
        {"single clockwise triangle", makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1, 5, 5}), "", {0, 2, 1}, false},
        {"empty", Chart(), "", {}, false},
        {"index beyond the UVs", makeChart({0, 1, 2, 0, 2, 7}, {}, {0, 0, 1, 0, 0, 1}), "", {0, 1, 2, 0, 2, 7}, false},
        {"NaN corner", makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, nan, 1, 0, 1}), "", {0, 1, 2, 0, 2, 3}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Chart chart = c.chart;
        testing::internal::CaptureStdout();
        fixFlippedTriangles(chart);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
        EXPECT_EQ(chart.triIndicesUV, c.uv);
        EXPECT_EQ(chart.triIndicesPos, c.chart.triIndicesPos);
        for (size_t t = 0; c.allCounterClockwise && t < chart.numTriangles(); ++t)
            EXPECT_GT(uvTriangleCross(chart, t), 0.0) << t;
    }
    // A consistently clockwise chart is mirrored as a whole, a mixed one left alone.
    Chart cw = makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1});
    mirrorIfClockwise(cw);
    EXPECT_GT(uvTriangleCross(cw, 0), 0.0);
    Chart mixed = makeChart({0, 2, 1, 1, 3, 2}, {}, {0, 0, 1, 0, 0, 1, 1, 1});
    mirrorIfClockwise(mixed);
    EXPECT_EQ(mixed.uvCoords2D, (iuv::DoubleVector{0, 0, 1, 0, 0, 1, 1, 1}));
}

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
    // An open cylinder unrolled into one chart: its seam of 5 edges has both sides in it and repels across each.
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
