#include "io/obj_writer.h"
#include "topology/mesh_topology.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace {

using testsupport::makeChart;

// Triangles of an nx x ny grid of unit quads, vertex (i, j) numbered
// j * (nx + 1) + i, quad (i, j) giving triangles 2q and 2q + 1 (q = j * nx + i).
std::vector<uint32_t> gridTriangles(int nx, int ny)
{
    std::vector<uint32_t> t;
    auto id = [nx](int i, int j) { return static_cast<uint32_t>(j * (nx + 1) + i); };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            t.insert(t.end(), {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j), id(i + 1, j + 1), id(i, j + 1)});
    return t;
}

// A chart over the given triangles of a 3D triangle list. uvKey(triangle,
// vertex) names the UV vertex of a corner; equal keys share a UV vertex. UV
// coordinates are made up from the key (only the topology matters here).
Chart chartFrom(const std::vector<uint32_t>& posTris, const std::vector<size_t>& triangles,
                const std::function<uint64_t(size_t, uint32_t)>& uvKey)
{
    Chart chart;
    std::map<uint64_t, uint32_t> uvOf;
    for (size_t t : triangles) {
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = posTris[3 * t + k];
            const uint64_t key = uvKey(t, v);
            auto it = uvOf.find(key);
            if (it == uvOf.end()) {
                it = uvOf.emplace(key, static_cast<uint32_t>(uvOf.size())).first;
                chart.uvCoords2D.push_back(static_cast<double>(key % 97));
                chart.uvCoords2D.push_back(static_cast<double>(key / 97));
            }
            chart.triIndicesPos.push_back(v);
            chart.triIndicesUV.push_back(it->second);
        }
    }
    return chart;
}

std::vector<size_t> allTriangles(const std::vector<uint32_t>& posTris)
{
    std::vector<size_t> all(posTris.size() / 3);
    for (size_t t = 0; t < all.size(); ++t)
        all[t] = t;
    return all;
}

std::vector<uint32_t> seam(const MeshTopology& topo, size_t s)
{
    const size_t start = topo.seamStart(s);
    return std::vector<uint32_t>(topo.boundaryAndSeamHalfedges.begin() + start,
                                 topo.boundaryAndSeamHalfedges.begin() + start + topo.seamSegmentLengths[s]);
}

// Structural checks that hold for every topology: the boundary list holds
// exactly the boundary halfedges once, segments are chains of interior seam
// edges, every seam edge lies in exactly one segment, and the chart
// halfedges run along the same edges as the joined ones.
void expectWellFormed(const MeshTopology& topo, const ChartList& charts)
{
    const HalfedgeMesh& m = topo.joinedMesh;
    ASSERT_FALSE(m.empty());
    size_t expectedTotal = topo.numBoundaryHalfedges;
    for (uint64_t len : topo.seamSegmentLengths) {
        EXPECT_GT(len, 0u);
        expectedTotal += len;
    }
    ASSERT_EQ(topo.boundaryAndSeamHalfedges.size(), expectedTotal);

    std::set<uint32_t> boundary;
    for (uint32_t h = 0; h < m.halfedges.size(); ++h)
        if (m.isBoundary(h))
            boundary.insert(h);
    std::set<uint32_t> listedBoundary(topo.boundaryAndSeamHalfedges.begin(),
                                      topo.boundaryAndSeamHalfedges.begin() + topo.numBoundaryHalfedges);
    EXPECT_EQ(listedBoundary, boundary);
    EXPECT_EQ(listedBoundary.size(), topo.numBoundaryHalfedges);

    std::set<uint32_t> seamEdges; // lower halfedge of every interior seam pair
    for (uint32_t h = 0; h < m.halfedges.size(); ++h)
        if (!m.isBoundary(h) && !m.isBoundary(twin(h)) && isSeamHalfedge(h, topo))
            seamEdges.insert(h & ~1u);
    std::set<uint32_t> listedSeams;
    for (size_t s = 0; s < topo.numSeams(); ++s) {
        const std::vector<uint32_t> seg = seam(topo, s);
        for (size_t i = 0; i < seg.size(); ++i) {
            EXPECT_FALSE(m.isBoundary(seg[i]));
            EXPECT_FALSE(m.isBoundary(twin(seg[i])));
            EXPECT_TRUE(listedSeams.insert(seg[i] & ~1u).second) << "edge listed twice";
            if (i > 0) {
                EXPECT_EQ(m.source(seg[i]), m.halfedges[seg[i - 1]].to) << "segment " << s << " broken";
            }
        }
    }
    EXPECT_EQ(listedSeams, seamEdges);

    for (uint32_t g = 0; g < m.halfedges.size(); ++g) {
        const uint32_t h = topo.joinedToChartHalfedge[g];
        if (m.isBoundary(g)) {
            EXPECT_EQ(h, InvalidIndex);
            continue;
        }
        const size_t t = m.halfedges[g].corner / 3;
        const size_t c = topo.triangleChart[t];
        ASSERT_LT(c, charts.size());
        ASSERT_LT(h, topo.chartMeshes[c].halfedges.size());
        const Chart& chart = charts[c];
        const HalfedgeMesh& cm = topo.chartMeshes[c];
        // Same edge: the chart halfedge's UV vertices map to g's 3D vertices.
        std::vector<uint32_t> uvToPos(chart.numUVVertices(), InvalidIndex);
        for (size_t k = 0; k < chart.triIndicesUV.size(); ++k)
            uvToPos[chart.triIndicesUV[k]] = chart.triIndicesPos[k];
        EXPECT_EQ(uvToPos[cm.halfedges[h].to], m.halfedges[g].to);
        EXPECT_EQ(uvToPos[cm.source(h)], m.source(g));
    }
}

MeshTopology build(const ChartList& charts, size_t vertexCount, const iuv::UIntVector& cones = {})
{
    MeshTopology topo;
    testing::internal::CaptureStdout();
    buildMeshTopology(charts, vertexCount, cones, topo);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, "");
    return topo;
}

// Open cylinder of n quads around and r rings, unrolled into one chart; the
// unrolled rectangle's two ends meet along the seam at i = 0.
Chart cylinderChart(int n, int r)
{
    const std::vector<uint32_t> rect = gridTriangles(n, r);
    std::vector<uint32_t> pos(rect);
    for (uint32_t& v : pos) {
        const uint32_t i = v % (n + 1), j = v / (n + 1);
        v = j * n + i % n;
    }
    Chart chart = chartFrom(pos, allTriangles(pos), [](size_t, uint32_t) { return 0; });
    chart.triIndicesUV = iuv::UIntVector(rect);
    chart.uvCoords2D.assign(2 * (n + 1) * (r + 1), 0.0);
    return chart;
}

} // namespace

// ---------------------------------------------------------------------------
// Seam segments
// ---------------------------------------------------------------------------

TEST(MeshTopologySeams, OneUncutChartHasOnlyBoundary)
{
    const ChartList charts = {testsupport::unitSquareChart()};
    const MeshTopology topo = build(charts, 4);
    expectWellFormed(topo, charts);
    EXPECT_EQ(topo.numBoundaryHalfedges, 4u);
    EXPECT_EQ(topo.numSeams(), 0u);
    EXPECT_EQ(topo.boundaryAndSeamHalfedges.size(), 4u);
    EXPECT_EQ(topo.chartMeshes.size(), 1u);
    EXPECT_EQ(topo.triangleChart, (std::vector<uint64_t>{0, 0}));
}

TEST(MeshTopologySeams, EdgeBetweenTwoChartsIsASeam)
{
    const std::vector<uint32_t> pos = gridTriangles(2, 1); // two quads side by side
    const auto key = [](size_t, uint32_t v) { return v; };
    const ChartList charts = {chartFrom(pos, {0, 1}, key), chartFrom(pos, {2, 3}, key)};
    const MeshTopology topo = build(charts, 6);
    expectWellFormed(topo, charts);
    EXPECT_EQ(topo.numBoundaryHalfedges, 6u);
    ASSERT_EQ(topo.numSeams(), 1u);
    const uint32_t g = seam(topo, 0)[0];
    const HalfedgeMesh& m = topo.joinedMesh;
    ASSERT_FALSE(m.isBoundary(g) || m.isBoundary(twin(g)));
    EXPECT_EQ(std::set<uint32_t>({m.source(g), m.halfedges[g].to}), std::set<uint32_t>({1, 4}));
    EXPECT_NE(topo.triangleChart[m.halfedges[g].corner / 3], topo.triangleChart[m.halfedges[twin(g)].corner / 3]);
    EXPECT_EQ(topo.triangleChart, (std::vector<uint64_t>{0, 0, 1, 1}));
    // The edge inside each chart is not a seam.
    for (uint32_t h = 0; h < m.halfedges.size(); ++h) {
        const bool between = std::set<uint32_t>({m.source(h), m.halfedges[h].to}) == std::set<uint32_t>({1, 4});
        if (!m.isBoundary(h) && !m.isBoundary(twin(h))) {
            EXPECT_EQ(isSeamHalfedge(h, topo), between);
        }
    }
}

TEST(MeshTopologySeams, UVCutInsideAChartIsASeamAndCanBeSplitByACone)
{
    const ChartList charts = {cylinderChart(6, 4)};
    const size_t vertexCount = 6 * 5;
    MeshTopology topo = build(charts, vertexCount);
    expectWellFormed(topo, charts);
    EXPECT_EQ(topo.numBoundaryHalfedges, 12u);
    ASSERT_EQ(topo.numSeams(), 1u);
    EXPECT_EQ(topo.seamSegmentLengths[0], 4u);

    // A cone in the middle of the seam (3D vertex i = 0, j = 2) splits it;
    // cones off the seam or out of range change nothing.
    topo = build(charts, vertexCount, {2 * 6, 3 * 6 + 3, 999999});
    expectWellFormed(topo, charts);
    ASSERT_EQ(topo.numSeams(), 2u);
    EXPECT_EQ(topo.seamSegmentLengths, (std::vector<uint64_t>{2, 2}));
    for (size_t s = 0; s < 2; ++s) {
        const std::vector<uint32_t> seg = seam(topo, s);
        const uint32_t a = topo.joinedMesh.source(seg.front()), b = topo.joinedMesh.halfedges[seg.back()].to;
        EXPECT_TRUE(a == 12 || b == 12) << "segment " << s << " does not end at the cone";
    }
}

TEST(MeshTopologySeams, SeamEndingInsideAChart)
{
    // A 4 x 4 grid with a slit from the bottom boundary up the line x = 2 to
    // the inner vertex (2, 2): vertices (2, 0) and (2, 1) have a second UV
    // copy on the right of the slit.
    const std::vector<uint32_t> pos = gridTriangles(4, 4);
    const auto key = [](size_t t, uint32_t v) -> uint64_t {
        const size_t quad = t / 2, qi = quad % 4, qj = quad / 4;
        const bool onSlit = v == 2 || v == 7;
        return (onSlit && qi >= 2 && qj < 2) ? v + 100 : v;
    };
    const ChartList charts = {chartFrom(pos, allTriangles(pos), key)};
    const MeshTopology topo = build(charts, 25);
    expectWellFormed(topo, charts);
    EXPECT_EQ(topo.numBoundaryHalfedges, 16u);
    ASSERT_EQ(topo.numSeams(), 1u);
    EXPECT_EQ(topo.seamSegmentLengths[0], 2u);
    const std::vector<uint32_t> seg = seam(topo, 0);
    const HalfedgeMesh& m = topo.joinedMesh;
    EXPECT_EQ(std::set<uint32_t>({m.source(seg.front()), m.halfedges[seg.back()].to}), std::set<uint32_t>({2, 12}));
}

TEST(MeshTopologySeams, ClosedSeamLoopWithoutJunction)
{
    // The inner 2 x 2 block of a 4 x 4 grid is cut free in UV along its
    // outline of eight edges; the chart holds both islands.
    const std::vector<uint32_t> pos = gridTriangles(4, 4);
    const auto inner = [](size_t t) {
        const size_t quad = t / 2, qi = quad % 4, qj = quad / 4;
        return qi >= 1 && qi < 3 && qj >= 1 && qj < 3;
    };
    const auto key = [&](size_t t, uint32_t v) -> uint64_t { return inner(t) && v != 12 ? v + 100 : v; };
    const ChartList oneChart = {chartFrom(pos, allTriangles(pos), key)};
    MeshTopology topo = build(oneChart, 25);
    expectWellFormed(topo, oneChart);
    ASSERT_EQ(topo.numSeams(), 1u);
    EXPECT_EQ(topo.seamSegmentLengths[0], 8u);
    std::vector<uint32_t> seg = seam(topo, 0);
    EXPECT_EQ(topo.joinedMesh.halfedges[seg.back()].to, topo.joinedMesh.source(seg.front()));

    // The same outline between two charts, with cones at two opposite
    // corners (vertices 6 and 18): two segments of four edges.
    std::vector<size_t> in, out;
    for (size_t t = 0; t < pos.size() / 3; ++t)
        (inner(t) ? in : out).push_back(t);
    const auto plain = [](size_t, uint32_t v) { return v; };
    const ChartList twoCharts = {chartFrom(pos, out, plain), chartFrom(pos, in, plain)};
    topo = build(twoCharts, 25, {6, 18});
    expectWellFormed(topo, twoCharts);
    EXPECT_EQ(topo.seamSegmentLengths, (std::vector<uint64_t>{4, 4}));
    // One cone only: the loop becomes one segment from the cone round to it.
    topo = build(twoCharts, 25, {8});
    ASSERT_EQ(topo.numSeams(), 1u);
    seg = seam(topo, 0);
    EXPECT_EQ(topo.joinedMesh.source(seg.front()), 8u);
    EXPECT_EQ(topo.joinedMesh.halfedges[seg.back()].to, 8u);
}

TEST(MeshTopologySeams, ClosedMeshCutIntoTwoCharts)
{
    const std::vector<uint32_t> tet = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};
    const auto plain = [](size_t, uint32_t v) { return v; };
    const ChartList charts = {chartFrom(tet, {0, 1}, plain), chartFrom(tet, {2, 3}, plain)};
    const MeshTopology topo = build(charts, 4);
    expectWellFormed(topo, charts);
    EXPECT_EQ(topo.numBoundaryHalfedges, 0u);
    EXPECT_EQ(topo.seamSegmentLengths, (std::vector<uint64_t>{4}));
}

TEST(MeshTopologySeams, RandomChartLabelsGiveSeamsExactlyBetweenCharts)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 25; ++round) {
        const int nx = 3 + round % 6, ny = 2 + round % 4;
        const std::vector<uint32_t> pos = gridTriangles(nx, ny);
        const size_t numTriangles = pos.size() / 3;
        const size_t numCharts = 1 + round % 5;
        std::vector<std::vector<size_t>> members(numCharts);
        std::vector<size_t> label(numTriangles);
        for (size_t t = 0; t < numTriangles; ++t) {
            label[t] = rng() % numCharts;
            members[label[t]].push_back(t);
        }
        ChartList charts;
        for (const auto& m : members)
            if (!m.empty())
                charts.push_back(chartFrom(pos, m, [](size_t, uint32_t v) { return v; }));
        iuv::UIntVector cones;
        if (round % 3 == 0)
            cones.push_back(static_cast<uint32_t>(rng() % ((nx + 1) * (ny + 1))));
        const MeshTopology topo = build(charts, static_cast<size_t>((nx + 1) * (ny + 1)), cones);
        expectWellFormed(topo, charts);

        // Independent count: grid edges whose two triangles lie in different charts.
        std::map<std::pair<uint32_t, uint32_t>, std::vector<size_t>> edgeTriangles;
        for (size_t t = 0; t < numTriangles; ++t)
            for (int k = 0; k < 3; ++k) {
                uint32_t a = pos[3 * t + k], b = pos[3 * t + (k + 1) % 3];
                edgeTriangles[{std::min(a, b), std::max(a, b)}].push_back(t);
            }
        size_t between = 0;
        for (const auto& e : edgeTriangles)
            between += e.second.size() == 2 && label[e.second[0]] != label[e.second[1]];
        size_t listed = 0;
        for (uint64_t len : topo.seamSegmentLengths)
            listed += len;
        EXPECT_EQ(listed, between) << round;
    }
}

// ---------------------------------------------------------------------------
// Failures and odd input
// ---------------------------------------------------------------------------

TEST(MeshTopologyFailures, ChartWithThreeTrianglesOnOneUVEdgeIsReportedAndDumped)
{
    // Distinct 3D vertices, but all three triangles share the UV edge 0-1.
    const Chart bad = makeChart({4, 5, 6, 7, 8, 9, 10, 11, 12}, {0, 1, 2, 1, 0, 3, 0, 1, 4},
                                {0, 0, 1, 0, 0.5, 1, 0.5, -1, 2, 2});
    const ChartList charts = {testsupport::unitSquareChart(), bad};
    MeshTopology topo;
    testing::internal::CaptureStdout();
    buildMeshTopology(charts, 13, {}, topo);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot construct halfedges - is the input OK?\n");
    EXPECT_EQ(topo.unbuiltCharts, (std::vector<size_t>{1}));

    // The dump places UV vertex i at (u_i, v_i, 0).
    const std::string dir = testsupport::makeTempDir("topo_fail");
    ASSERT_TRUE(writeFailedChartOBJ(bad, dir + "/error.obj"));
    const std::string obj = testsupport::readTextFile(dir + "/error.obj");
    EXPECT_NE(obj.find("v 0.5 -1 0"), std::string::npos) << obj;
    EXPECT_NE(obj.find("f 1 2 3"), std::string::npos);
    testsupport::removeTree(dir);

    ASSERT_EQ(topo.chartMeshes.size(), 2u);
    EXPECT_FALSE(topo.chartMeshes[0].empty());
    EXPECT_TRUE(topo.chartMeshes[1].empty());
    // The failed chart's triangles keep chart 0 and never form seams.
    EXPECT_EQ(topo.triangleChart, (std::vector<uint64_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(topo.numSeams(), 0u);
}

TEST(MeshTopologyFailures, UnusedUVVertexIsReportedAndDumped)
{
    Chart chart = testsupport::unitSquareChart();
    chart.uvCoords2D.insert(chart.uvCoords2D.end(), {5.0, 5.0});
    MeshTopology topo;
    testing::internal::CaptureStdout();
    buildMeshTopology({chart}, 4, {}, topo);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot construct halfedges - is the input OK?\n");
    EXPECT_EQ(topo.unbuiltCharts, (std::vector<size_t>{0}));
    EXPECT_FALSE(topo.joinedMesh.empty());
    EXPECT_EQ(topo.numBoundaryHalfedges, 4u);
}

TEST(MeshTopologyFailures, JoinedMeshFailureLeavesTheRestEmpty)
{
    // Three charts meet on one 3D edge; each chart alone is fine.
    const ChartList charts = {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1}),
                              makeChart({1, 0, 3}, {0, 1, 2}, {0, 0, 1, 0, 0, 1}),
                              makeChart({0, 1, 4}, {0, 1, 2}, {0, 0, 1, 0, 0, 1})};
    for (size_t vertexCount : {size_t(5), size_t(6), size_t(3)}) {
        MeshTopology topo;
        testing::internal::CaptureStdout();
        buildMeshTopology(charts, vertexCount, {1}, topo);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot construct joined 3D halfedges - is the input OK?\n");
        EXPECT_TRUE(topo.joinedMesh.empty());
        EXPECT_EQ(topo.chartMeshes.size(), 3u);
        EXPECT_TRUE(topo.joinedToChartHalfedge.empty());
        EXPECT_TRUE(topo.triangleChart.empty());
        EXPECT_TRUE(topo.boundaryAndSeamHalfedges.empty());
        EXPECT_EQ(topo.numBoundaryHalfedges, 0u);
        EXPECT_EQ(topo.numSeams(), 0u);
    }
}

TEST(MeshTopologyFailures, RebuildResetsAndOddInputIsHarmless)
{
    MeshTopology topo = build({testsupport::unitSquareChart()}, 4);
    ASSERT_EQ(topo.numBoundaryHalfedges, 4u);
    testing::internal::CaptureStdout();
    buildMeshTopology({}, 0, {}, topo);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot construct joined 3D halfedges - is the input OK?\n");
    EXPECT_TRUE(topo.chartMeshes.empty());
    EXPECT_EQ(topo.numBoundaryHalfedges, 0u);

    // Triangles sharing their edge in the same direction (a flipped
    // neighbour): built, not rejected, and the walks terminate.
    const ChartList flipped = {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1}),
                               makeChart({0, 1, 3}, {0, 1, 2}, {0, 0, 1, 0, 0, -1})};
    topo = build(flipped, 4);
    EXPECT_FALSE(topo.joinedMesh.empty());
    // Partial triangles are ignored.
    Chart partial = testsupport::unitSquareChart();
    partial.triIndicesPos.push_back(1);
    topo = build({partial}, 4);
    EXPECT_EQ(topo.triangleChart.size(), 2u);
}

TEST(MeshTopologyFailures, QueriesOutOfRangeAreSafe)
{
    const MeshTopology topo = build({testsupport::unitSquareChart()}, 4);
    EXPECT_FALSE(isSeamHalfedge(1000, topo));
    EXPECT_FALSE(isSeamHalfedge(InvalidIndex, topo));
    const uint32_t b = topo.boundaryAndSeamHalfedges[0];
    EXPECT_TRUE(isSeamHalfedge(b, topo));
    EXPECT_FALSE(isSeamHalfedge(twin(b), topo));
    EXPECT_EQ(topo.seamStart(0), 4u);
    EXPECT_EQ(topo.seamStart(7), 4u);
    EXPECT_FALSE(isSeamHalfedge(0, MeshTopology()));
}
