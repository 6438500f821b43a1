#include "io/obj_writer.h"
#include "meshgen/meshgen.h"
#include "model/model.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"
#include "topology/halfedge.h"
#include "topology/mesh_topology.h"
#include "topology/overlap.h"
#include "topology/seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace {

using testsupport::makeChart;

const double Pi = 3.14159265358979323846;
const double NaN = std::numeric_limits<double>::quiet_NaN();

iuv::UIntVector tris(std::vector<uint32_t> v) { return iuv::UIntVector(v); }

// Every structural invariant of a built mesh; without a consistent orientation, those of its loops.
void expectConsistent(const HalfedgeMesh& m, const iuv::UIntVector& tri, size_t vertexCount, bool oriented = true)
{
    const size_t n = m.halfedges.size();
    ASSERT_EQ(m.vertexHalfedge.size(), vertexCount);
    std::vector<int> cornerUse(tri.size(), 0);
    size_t numBoundary = 0;
    for (uint32_t h = 0; h < n; ++h) {
        const Halfedge& e = m.halfedges[h];
        ASSERT_TRUE(e.next < n && e.prev < n);
        EXPECT_EQ(m.halfedges[e.next].prev, h);
        numBoundary += m.isBoundary(h);
        if (!oriented)
            continue;
        EXPECT_EQ(m.source(e.next), e.to);
        if (m.isBoundary(h)) {
            EXPECT_FALSE(m.isBoundary(twin(h)));
        } else {
            ASSERT_LT(e.corner, tri.size());
            ++cornerUse[e.corner];
            EXPECT_EQ(tri[e.corner], e.to);
            EXPECT_EQ(m.halfedges[m.halfedges[e.next].next].next, h);
        }
    }
    bool allManifold = true;
    for (size_t c = 0; oriented && c < tri.size(); ++c)
        EXPECT_EQ(cornerUse[c], 1);
    for (size_t v = 0; oriented && v < vertexCount; ++v) {
        EXPECT_EQ(m.source(m.vertexHalfedge[v]), v);
        allManifold = allManifold && m.manifoldVertices[v];
    }
    EXPECT_TRUE(!oriented || m.isManifold == allManifold);
    // Loops cover each boundary halfedge once and pass each vertex at most once.
    std::vector<bool> seen(n, false);
    size_t covered = 0;
    for (uint32_t start : m.boundaryLoops) {
        std::set<uint32_t> sources;
        uint32_t h = start;
        do {
            ASSERT_TRUE(m.isBoundary(h) && !seen[h]);
            seen[h] = true;
            ++covered;
            EXPECT_TRUE(sources.insert(m.source(h)).second) << "loop passes a vertex twice";
            h = m.halfedges[h].next;
        } while (h != start && covered <= n);
    }
    EXPECT_EQ(covered, numBoundary);
}

// A chart over some triangles of a 3D triangle list; corners with equal uvKey(triangle, vertex) share a UV vertex.
Chart chartFrom(const std::vector<uint32_t>& pos, std::vector<size_t> triangles,
                const std::function<uint64_t(size_t, uint32_t)>& uvKey = [](size_t, uint32_t v) { return v; })
{
    if (triangles.empty())
        for (size_t t = 0; t < pos.size() / 3; ++t)
            triangles.push_back(t);
    Chart chart;
    std::map<uint64_t, uint32_t> uvOf;
    for (size_t t : triangles)
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = pos[3 * t + k];
            const auto it = uvOf.emplace(uvKey(t, v), uint32_t(uvOf.size())).first;
            if (it->second * 2 == chart.uvCoords2D.size())
                chart.uvCoords2D.insert(chart.uvCoords2D.end(), {double(it->first % 97), double(it->first / 97)});
            chart.triIndicesPos.push_back(v);
            chart.triIndicesUV.push_back(it->second);
        }
    return chart;
}

// The boundary list holds each boundary halfedge once, segments are chains of interior seam edges covering
// every seam edge once, and each joined halfedge maps to a chart halfedge over the same two 3D vertices.
void expectWellFormed(const MeshTopology& topo, const ChartList& charts)
{
    const HalfedgeMesh& m = topo.joinedMesh;
    ASSERT_FALSE(m.empty());
    std::set<uint32_t> boundary, seamEdges, listedSeams;
    for (uint32_t h = 0; h < m.halfedges.size(); ++h) {
        if (m.isBoundary(h))
            boundary.insert(h);
        else if (!m.isBoundary(twin(h)) && isSeamHalfedge(h, topo))
            seamEdges.insert(h & ~1u);
    }
    const auto& list = topo.boundaryAndSeamHalfedges;
    EXPECT_EQ(std::set<uint32_t>(list.begin(), list.begin() + topo.numBoundaryHalfedges), boundary);
    EXPECT_EQ(boundary.size(), topo.numBoundaryHalfedges);
    for (size_t s = 0; s < topo.numSeams(); ++s)
        for (size_t i = topo.seamStart(s); i < topo.seamStart(s) + topo.seamSegmentLengths[s]; ++i) {
            EXPECT_FALSE(m.isBoundary(list[i]) || m.isBoundary(twin(list[i])));
            EXPECT_TRUE(listedSeams.insert(list[i] & ~1u).second) << "edge listed twice";
            if (i > topo.seamStart(s)) {
                EXPECT_EQ(m.source(list[i]), m.halfedges[list[i - 1]].to) << "segment " << s << " broken";
            }
        }
    EXPECT_EQ(listedSeams, seamEdges);
    for (uint32_t g = 0; g < m.halfedges.size(); ++g) {
        const uint32_t h = topo.joinedToChartHalfedge[g];
        if (m.isBoundary(g)) {
            EXPECT_EQ(h, InvalidIndex);
            continue;
        }
        const size_t c = topo.triangleChart[m.halfedges[g].corner / 3];
        ASSERT_LT(c, charts.size());
        ASSERT_LT(h, topo.chartMeshes[c].halfedges.size());
        std::vector<uint32_t> uvToPos(charts[c].numUVVertices(), InvalidIndex);
        for (size_t k = 0; k < charts[c].triIndicesUV.size(); ++k)
            uvToPos[charts[c].triIndicesUV[k]] = charts[c].triIndicesPos[k];
        EXPECT_EQ(uvToPos[topo.chartMeshes[c].halfedges[h].to], m.halfedges[g].to);
        EXPECT_EQ(uvToPos[topo.chartMeshes[c].source(h)], m.source(g));
    }
}

MeshTopology build(const ChartList& charts, size_t vertexCount, const iuv::UIntVector& cones, std::string* out = nullptr)
{
    MeshTopology topo;
    testing::internal::CaptureStdout();
    buildMeshTopology(charts, vertexCount, cones, topo);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out)
        *out = printed;
    else
        EXPECT_EQ(printed, "");
    return topo;
}

// A 2 x 2 grid over the unit square (vertex (i, j) numbered 3j + i), cut along x = 1/2 into its left and
// right column; the right chart is turned by 90 degrees and moved by (5, 5). The seam runs over two edges.
Model cutGrid()
{
    Model m;
    m.sharedPositions = meshgen::flatGrid(2, 2, meshgen::Outline::Rectangle).positions;
    const std::vector<uint32_t> uv = {0, 1, 2, 0, 2, 3, 3, 2, 4, 3, 4, 5};
    m.charts = {makeChart({0, 1, 4, 0, 4, 3, 3, 4, 7, 3, 7, 6}, uv, {0, 0, 0.5, 0, 0.5, 0.5, 0, 0.5, 0.5, 1, 0, 1}),
                makeChart({1, 2, 5, 1, 5, 4, 4, 5, 8, 4, 8, 7}, uv, {5, 5.5, 5, 6, 4.5, 6, 4.5, 5.5, 4, 6, 4, 5.5})};
    return m;
}

} // namespace

TEST(BuildHalfedgeMesh, LoopsManifoldVerticesAndRefusals)
{
    // loops < 0: the input is refused and the mesh left empty; Any: not asserted (inconsistent
    // orientation, whose loops are closed wherever a chain breaks off).
    const int Any = 99;
    struct Case { std::vector<uint32_t> tri; size_t vertices; int loops; std::vector<uint32_t> pinched; };
    const std::vector<Case> cases = {
        {{0, 1, 2}, 3, 1, {}},
        {{0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3}, 4, 0, {}},                            // closed tetrahedron
        {{0, 1, 2, 0, 3, 4}, 5, 2, {0}},                                              // bowtie
        {{0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4, 4, 5, 0, 5, 6, 0}, 7, 2, {0}},          // strip touching itself
        {{}, 0, 0, {}},
        {{0, 1, 2, 0, 1, 3}, 4, Any, {}},                                             // inconsistent orientation
        {{0, 1, 2, 0, 1, 3, 0, 4, 5, 0, 5, 6, 0, 6, 4}, 7, Any, {0}},
        {{0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1, 1, 2, 5, 5, 3, 4}, 6, Any, {5}},
        {{0, 1, 2, 1, 0, 3, 0, 1, 4}, 5, -1, {}}, // three triangles on one edge
        {{0, 1, 2}, 4, -1, {}},                   // unreferenced vertex
        {{}, 2, -1, {}},
        {{0, 1, 2}, size_t(1) << 62, -1, {}},
        {{0, 1, 5}, 3, -1, {}},                   // vertex out of range
        {{0, 1, 1, 0, 1, 2}, 3, -1, {}},          // repeated vertex
        {{0, 1, 2, 0}, 3, -1, {}},                // partial triangle
        {{0, 1, InvalidIndex}, 3, -1, {}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        HalfedgeMesh m;
        const auto tri = tris(cases[i].tri);
        ASSERT_EQ(buildHalfedgeMesh(tri, cases[i].vertices, m), cases[i].loops < 0) << i;
        if (cases[i].loops < 0) {
            EXPECT_TRUE(m.empty()) << i;
            continue;
        }
        expectConsistent(m, tri, cases[i].vertices, cases[i].loops != Any);
        if (cases[i].loops != Any) {
            EXPECT_EQ(int(m.boundaryLoops.size()), cases[i].loops) << i;
        }
        for (uint32_t v = 0; v < cases[i].vertices; ++v) {
            const bool pinched = std::find(cases[i].pinched.begin(), cases[i].pinched.end(), v) != cases[i].pinched.end();
            EXPECT_EQ(m.manifoldVertices[v], !pinched) << i << " vertex " << v;
        }
    }
}

TEST(MeshTopology, SeamSegmentsOfKnownLayouts)
{
    const auto grid = [](int nx, int ny) { return meshgen::flatGrid(nx, ny, meshgen::Outline::Rectangle).posIndices; };
    const std::vector<uint32_t> g2 = grid(2, 1), g4 = grid(4, 4); // vertex (i, j) numbered j * (nx + 1) + i
    const std::vector<uint32_t> tet = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};
    const auto inner = [](size_t t) { const size_t q = t / 2; return q % 4 >= 1 && q % 4 < 3 && q / 4 >= 1 && q / 4 < 3; };
    std::vector<size_t> in, out;
    for (size_t t = 0; t < g4.size() / 3; ++t)
        (inner(t) ? in : out).push_back(t);
    // A slit from the bottom up x = 2 to the inner vertex 12; a block cut free along its outline.
    const Chart slit = chartFrom(g4, {}, [](size_t t, uint32_t v) -> uint64_t {
        return (v == 2 || v == 7) && (t / 2) % 4 >= 2 && t / 8 < 2 ? v + 100 : v; });
    const Chart island = chartFrom(g4, {}, [&](size_t t, uint32_t v) -> uint64_t { return inner(t) && v != 12 ? v + 100 : v; });
    const ChartList twoCharts = {chartFrom(g4, out), chartFrom(g4, in)};
    struct Case { const char* name; ChartList charts; size_t vertices; iuv::UIntVector cones; uint64_t boundary; std::vector<uint64_t> seams; };
    const std::vector<Case> cases = {
        {"square", {testsupport::unitSquareChart()}, 4, {}, 4, {}},
        {"two charts", {chartFrom(g2, {0, 1}), chartFrom(g2, {2, 3})}, 6, {}, 6, {1}},
        {"cylinder", {meshgen::toModel(meshgen::openCylinder(6, 4)).charts[0]}, 30, {}, 12, {4}},
        {"cylinder with a cone", {meshgen::toModel(meshgen::openCylinder(6, 4)).charts[0]}, 30, {12, 21, 999999}, 12, {2, 2}},
        {"slit", {slit}, 25, {}, 16, {2}},
        {"closed loop", {island}, 25, {}, 16, {8}},
        {"loop between charts, two cones", twoCharts, 25, {6, 18}, 16, {4, 4}},
        {"loop between charts, one cone", twoCharts, 25, {8}, 16, {8}},
        {"closed mesh", {chartFrom(tet, {0, 1}), chartFrom(tet, {2, 3})}, 4, {}, 0, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeshTopology topo = build(c.charts, c.vertices, c.cones);
        expectWellFormed(topo, c.charts);
        EXPECT_EQ(topo.numBoundaryHalfedges, c.boundary);
        EXPECT_EQ(topo.seamSegmentLengths, c.seams);
        for (size_t s = 0; s < topo.numSeams(); ++s) {
            const uint32_t first = topo.boundaryAndSeamHalfedges[topo.seamStart(s)];
            const uint32_t last = topo.boundaryAndSeamHalfedges[topo.seamStart(s) + c.seams[s] - 1];
            const uint32_t a = topo.joinedMesh.source(first), b = topo.joinedMesh.halfedges[last].to;
            for (uint32_t cone : c.cones)
                if (cone == 12 || cone == 8) {
                    EXPECT_TRUE(a == cone || b == cone) << "segment does not end at the cone";
                }
        }
    }
}

TEST(MeshTopology, BadChartsAreReportedAndTheBuildCarriesOn)
{
    const std::string chartMsg = "Cannot construct halfedges - is the input OK?\n";
    const std::string joinedMsg = "Cannot construct joined 3D halfedges - is the input OK?\n";
    // Distinct 3D vertices but three triangles on one UV edge.
    const Chart threeOnEdge = makeChart({4, 5, 6, 7, 8, 9, 10, 11, 12}, {0, 1, 2, 1, 0, 3, 0, 1, 4},
                                        {0, 0, 1, 0, 0.5, 1, 0.5, -1, 2, 2});
    // Three charts on one 3D edge, each fine alone.
    const ChartList threeOn3DEdge = {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1}),
                                     makeChart({1, 0, 3}, {0, 1, 2}, {0, 0, 1, 0, 0, 1}),
                                     makeChart({0, 1, 4}, {0, 1, 2}, {0, 0, 1, 0, 0, 1})};
    Chart partial = testsupport::unitSquareChart();
    partial.triIndicesPos.push_back(1);
    struct Case { ChartList charts; size_t vertices; std::string message; std::vector<size_t> unbuilt; bool joinedBuilt; };
    const std::vector<Case> cases = {
        {{partial}, 4, "", {}, true}, // a partial triangle is harmless
        {{testsupport::unitSquareChart(), threeOnEdge}, 13, chartMsg, {1}, true},
        {{makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, 1, 1, 0, 1, 5, 5})}, 4, chartMsg, {0}, true}, // unused UV vertex
        {threeOn3DEdge, 5, joinedMsg, {}, false},
        {{}, 0, joinedMsg, {}, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string printed;
        const MeshTopology topo = build(cases[i].charts, cases[i].vertices, {1}, &printed);
        EXPECT_EQ(printed, cases[i].message) << i;
        EXPECT_EQ(topo.unbuiltCharts, cases[i].unbuilt) << i;
        EXPECT_EQ(topo.chartMeshes.size(), cases[i].charts.size()) << i;
        EXPECT_EQ(topo.joinedMesh.empty(), !cases[i].joinedBuilt) << i;
        if (!cases[i].joinedBuilt) {
            EXPECT_TRUE(topo.boundaryAndSeamHalfedges.empty() && topo.triangleChart.empty() && topo.numSeams() == 0);
        }
        for (size_t c : topo.unbuiltCharts)
            EXPECT_TRUE(topo.chartMeshes[c].empty());
        // Queries out of range are harmless.
        EXPECT_FALSE(isSeamHalfedge(1000, topo) || isSeamHalfedge(InvalidIndex, topo));
        EXPECT_EQ(topo.seamStart(7), topo.boundaryAndSeamHalfedges.size());
    }

    // The dump of a failed chart places UV vertex i at (u_i, v_i, 0).
    testsupport::TempDir dir("topo_fail");
    ASSERT_TRUE(writeFailedChartOBJ(threeOnEdge, dir.file("error.obj")));
    std::istringstream obj(testsupport::readTextFile(dir.file("error.obj")));
    std::vector<std::vector<double>> vertices;
    size_t faces = 0;
    for (std::string line; std::getline(obj, line);) {
        std::istringstream in(line);
        std::string tag;
        std::vector<double> v(3);
        if (in >> tag && tag == "v" && in >> v[0] >> v[1] >> v[2])
            vertices.push_back(v);
        faces += tag == "f";
    }
    ASSERT_EQ(vertices.size(), 5u);
    EXPECT_EQ(vertices[3], (std::vector<double>{0.5, -1, 0}));
    EXPECT_EQ(faces, 3u);
}

TEST(SeamAlignment, SidesPointingOneWayDoNotTurnAndDegenerateSidesOnlyMove)
{
    // Sides already pointing the same way turn by exactly 0, opposite ones by just under pi.
    EXPECT_EQ(computeSeamAlignment({0, 0, 1, 0}, {2, 2, 3, 2}, 0, 1, 0, 1).angle, 0.0);
    const double opposite = computeSeamAlignment({0, 0, 1, 0}, {0, 0, -1, 0}, 0, 1, 0, 1).angle;
    EXPECT_TRUE(opposite < Pi && opposite > Pi - 1e-3);
    // A side without length (or a NaN) only moves; a vertex out of range leaves everything alone.
    const std::vector<std::tuple<iuv::DoubleVector, uint32_t, double>> still = {
        {{1, 1, 1, 1}, 1, -1}, {{0, 0, NaN, 1}, 1, 0}, {{0, 0, 0, 1}, 7, 0}};
    for (const auto& [moving, end, shift] : still) {
        const SeamAlignment a = computeSeamAlignment(moving, {0, 0, 0, 1}, 0, end, 0, 1);
        EXPECT_EQ(std::make_tuple(a.angle, a.translationU, a.translationV), std::make_tuple(0.0, shift, shift));
    }
}

TEST(GlueAlongSeam, RestoresTheSquareFromEitherSideAndRefusesWhatIsNoSeam)
{
    const Model m = cutGrid();
    const MeshTopology t = build(m.charts, m.numVertices(), {});
    ASSERT_EQ(t.seamSegmentLengths, (std::vector<uint64_t>{2}));
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    EXPECT_FALSE(findSeamEnds(t, 1, ends));
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;
    EXPECT_EQ(std::minmax(a, b), std::minmax(4u, a == 4 ? b : a)); // one end is the centre
    // Both edges of the seam are found either way round, and nothing else.
    for (const auto& [p, q] : {std::make_pair(1u, 4u), std::make_pair(4u, 7u)}) {
        EXPECT_TRUE(findSeamSegment(t, p, q).found() && findSeamSegment(t, q, p).found());
        EXPECT_NE(findSeamSegment(t, p, q).reversed, findSeamSegment(t, q, p).reversed);
    }
    EXPECT_FALSE(findSeamSegment(t, 0, 1).found()); // a boundary edge

    for (bool moveFirst : {true, false}) {
        const std::optional<Chart> glued = glueAlongSeam(m.charts, a, b, t, moveFirst);
        ASSERT_TRUE(glued.has_value());
        EXPECT_EQ(glued->numUVVertices(), 9u);
        EXPECT_TRUE(chartIndicesValid(*glued));
        EXPECT_FALSE(hasUVOverlaps(*glued) || hasUVFlips(*glued));
        EXPECT_NEAR(chartArea(*glued, m.sharedPositions, true), 1.0, 1e-9);
        EXPECT_NEAR(chartBoundaryLength(*glued), 4.0, 1e-9);
        // Every vertex of the fixed chart stays where it was.
        const Chart& fixedChart = m.charts[moveFirst ? ends.c2 : ends.c1];
        for (size_t i = 0; i < fixedChart.numUVVertices(); ++i) {
            double nearest = 1e300;
            for (size_t k = 0; k < glued->numUVVertices(); ++k)
                nearest = std::min(nearest, std::hypot(glued->uvCoords2D[2 * k] - fixedChart.uvCoords2D[2 * i],
                                                       glued->uvCoords2D[2 * k + 1] - fixedChart.uvCoords2D[2 * i + 1]));
            EXPECT_LT(nearest, 1e-9) << moveFirst << " vertex " << i;
        }
    }
    // Given against the seam direction, moving the first side moves c2.
    EXPECT_EQ(glueAlongSeam(m.charts, b, a, t, true)->uvCoords2D, glueAlongSeam(m.charts, a, b, t, false)->uvCoords2D);

    // What is not a seam between two charts glues nothing.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(glueAlongSeam(m.charts, 0, 1, t, true).has_value());
    const std::string frame(67, 'x');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              frame + "\nxxx FATAL ERROR: SEAM MUST BE PART OF THE CURRENT SET OF SEAMS! xxx\n" + frame + "\n");
    // Nor does a topology that does not describe the charts, or is damaged.
    const Chart triangle = makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1});
    const std::vector<std::pair<const char*, std::function<void(MeshTopology&, ChartList&)>>> damage = {
        {"one chart", [](MeshTopology&, ChartList& c) { c.pop_back(); }},
        {"bad UV index", [&](MeshTopology&, ChartList& c) { c[ends.c1].triIndicesUV[0] = 99; }},
        {"first chart not the mesh's", [&](MeshTopology&, ChartList& c) { c[ends.c1] = triangle; }},
        {"second chart not the mesh's", [&](MeshTopology&, ChartList& c) { c[ends.c2] = triangle; }},
        {"no triangle charts", [](MeshTopology& d, ChartList&) { d.triangleChart.clear(); }},
        {"no chart halfedges", [](MeshTopology& d, ChartList&) { d.joinedToChartHalfedge.clear(); }},
        {"chart mesh cut short", [&](MeshTopology& d, ChartList&) { d.chartMeshes[ends.c2].halfedges.resize(2); }},
        {"seam halfedge out of range", [](MeshTopology& d, ChartList&) { d.boundaryAndSeamHalfedges.back() = 99999; }},
    };
    for (const auto& [name, apply] : damage) {
        MeshTopology d = t;
        ChartList charts = m.charts;
        apply(d, charts);
        EXPECT_FALSE(glueAlongSeam(charts, a, b, d, true).has_value()) << name;
    }

    // A cylinder unrolled into one chart: its seam has both sides in it.
    const Model cyl = meshgen::toModel(meshgen::openCylinder(3, 1));
    const MeshTopology ct = build(cyl.charts, cyl.numVertices(), {});
    ASSERT_TRUE(findSeamEnds(ct, 0, ends));
    EXPECT_EQ(ends.c1, ends.c2);
    EXPECT_FALSE(glueAlongSeam(cyl.charts, ct.joinedMesh.halfedges[twin(ends.firstHalfedge)].to,
                               ct.joinedMesh.halfedges[ends.firstHalfedge].to, ct, true).has_value());
}
