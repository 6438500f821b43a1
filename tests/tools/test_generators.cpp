// The test-mesh generators: every mesh is valid input of its kind, with the
// shape the tests that use it rely on.
#include "generated_input.h"
#include "support/uv_coverage.h"
#include "model/stats.h"
#include "topology/chart_pieces.h"
#include "topology/layout_stats.h"
#include "topology/mesh_topology.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using meshgen::MeshData;

namespace {

size_t loops(const iuv::UIntVector& tri, size_t vertices)
{
    HalfedgeMesh h;
    EXPECT_FALSE(buildHalfedgeMesh(tri, vertices, h));
    return h.boundaryLoops.size();
}

} // namespace

TEST(Generators, MeshesAreValidInputOfTheirShape)
{
    using meshgen::Outline;
    MeshData colored = meshgen::cubeNet(2);
    meshgen::addColors(colored);
    MeshData dropped = colored;
    meshgen::dropUVs(dropped);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { const char* name; MeshData mesh; bool overlaps; size_t triangles; long loops3D, loopsUV, euler; };
    const std::vector<Case> cases = {
        {"cylinder", meshgen::openCylinder(12, 4), false, 96, 2, 1, 0},
        {"rectangle", meshgen::flatGrid(6, 4, Outline::Rectangle), false, 48, 1, 1, 1},
        {"L shape", meshgen::flatGrid(8, 8, Outline::LShape), false, 96, 1, 1, 1},
        {"holes", meshgen::flatGrid(30, 30, Outline::WithHoles), false, 0, 3, 3, -1},
        {"cube net", meshgen::cubeNet(3), false, 108, 0, 1, 2},
        {"coloured", colored, false, 48, 0, 1, 2},
        {"dropped UVs", dropped, false, 48, 0, -1, 2},
        {"cap", meshgen::sphericalCap(5, 1.2), false, 150, 1, -1, 1},
        {"saddle", meshgen::saddle(5), false, 150, 1, -1, 1},
        {"folded strip", meshgen::foldedStrip(240, 3), true, 1920, -1, -1, 0},
        {"cylinder, bad arguments", meshgen::openCylinder(-3, 0), false, 0, -1, -1, 0},
        {"holes, bad arguments", meshgen::flatGrid(0, -1, Outline::WithHoles), false, 0, -1, -1, 0},
        {"cube, bad arguments", meshgen::cubeNet(0), false, 0, -1, -1, 0},
        {"cap, bad arguments", meshgen::sphericalCap(0, nan), false, 0, -1, -1, 0},
        {"saddle, bad arguments", meshgen::saddle(-2), false, 0, -1, -1, 0},
        {"strip, bad arguments", meshgen::foldedStrip(1, 1), true, 0, -1, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeshData& m = c.mesh;
        EXPECT_EQ(inputProblems(m, c.overlaps), "");
        if (c.triangles) {
            EXPECT_EQ(m.numTriangles(), c.triangles);
        }
        if (c.loops3D >= 0) {
            EXPECT_EQ(long(loops(iuv::UIntVector(m.posIndices), m.numVertices())), c.loops3D);
        }
        if (c.loopsUV >= 0) {
            EXPECT_EQ(long(loops(iuv::UIntVector(m.uvIndices), m.numUVVertices())), c.loopsUV);
        }
        if (c.loops3D >= 0) {
            HalfedgeMesh h;
            buildHalfedgeMesh(iuv::UIntVector(m.posIndices), m.numVertices(), h);
            EXPECT_EQ(long(m.numVertices()) - long(h.halfedges.size() / 2) + long(m.numTriangles()), c.euler);
        }
        for (double x : m.colors)
            EXPECT_TRUE(x >= 0.0 && x <= 1.0);
    }
    EXPECT_EQ(meshgen::sphericalCap(91, 1.0).numTriangles(), 49686u);
    EXPECT_EQ(meshgen::foldedStrip(6250, 5).numTriangles(), 50000u);
    EXPECT_EQ(meshgen::cubeNet(3).cones.size(), 8u);
    EXPECT_NEAR(totalUVArea(meshgen::toModel(cases[2].mesh).charts), 0.75, 1e-6);
    MeshTopology topology;
    buildMeshTopology(meshgen::toModel(cases[0].mesh).charts, cases[0].mesh.numVertices(), {}, topology);
    EXPECT_EQ(topology.numSeams(), 1u);

    // The cube net keeps every edge length; flat grids have UVs equal to the positions.
    for (const MeshData* m : {&cases[4].mesh, &cases[1].mesh})
        for (size_t a = 0; a < m->posIndices.size(); ++a) {
            const size_t b = a % 3 == 2 ? a - 2 : a + 1;
            const double* pa = &m->positions[3 * m->posIndices[a]];
            const double* pb = &m->positions[3 * m->posIndices[b]];
            const double* ua = &m->uvs[2 * m->uvIndices[a]];
            const double* ub = &m->uvs[2 * m->uvIndices[b]];
            EXPECT_NEAR(std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]), std::hypot(ua[0] - ub[0], ua[1] - ub[1]), 1e-6);
            if (m == &cases[1].mesh) {
                EXPECT_EQ(std::make_pair(ua[0], ua[1]), std::make_pair(pa[0], pa[1]));
            }
        }
}

TEST(Generators, FoldedProjectionsAreDisksThatFoldInUV)
{
    struct Case { const char* name; MeshData mesh; size_t triangles; bool flips; };
    const Case cases[] = {
        {"mushroom", meshgen::mushroom(10, 24), 24u * 19, true},
        {"double folded sheet", meshgen::doubleFoldedSheet(40, 6), 2u * 40 * 6, true},
        {"spiral ramp", meshgen::spiralRamp(60, 4), 2u * 60 * 4, false},
        {"mushroom, clamped sizes", meshgen::mushroom(0, -5), 8u * 15, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeshData& m = c.mesh;
        EXPECT_EQ(m.numTriangles(), c.triangles);
        // An oriented disk in 3D: one boundary loop, Euler characteristic 1.
        HalfedgeMesh h;
        ASSERT_FALSE(buildHalfedgeMesh(iuv::UIntVector(m.posIndices), m.numVertices(), h));
        EXPECT_TRUE(h.isManifold);
        EXPECT_EQ(h.boundaryLoops.size(), 1u);
        EXPECT_EQ(long(m.numVertices()) - long(h.halfedges.size() / 2) + long(m.numTriangles()), 1);
        const Model model = meshgen::toModel(m);
        ASSERT_EQ(model.charts.size(), 1u);
        EXPECT_GT(uvTriangleCross(model.charts[0], 0), 0.0);
        EXPECT_EQ(hasUVFlips(model.charts[0]), c.flips);
        // A good part of the projection is covered twice.
        const testsupport::UVCoverage coverage = testsupport::uvCoverage(model.charts);
        EXPECT_GT(coverage.overlapArea, 0.1 * coverage.summedArea);
    }
}

TEST(Generators, RandomLayoutsAreSeparateValidChartsAndDeterministic)
{
    const Model model = meshgen::randomChartLayout(30, 6000, 7);
    ASSERT_EQ(model.charts.size(), 30u);
    size_t triangles = 0;
    std::vector<int> owner(model.numVertices(), -1);
    for (size_t i = 0; i < model.charts.size(); ++i) {
        const Chart& chart = model.charts[i];
        triangles += chart.numTriangles();
        for (uint32_t p : chart.triIndicesPos) {
            ASSERT_LT(p, owner.size());
            EXPECT_TRUE(owner[p] == -1 || owner[p] == int(i)) << "3D vertex shared between charts";
            owner[p] = int(i);
        }
        EXPECT_FALSE(hasUVFlips(chart) || hasUVOverlaps(chart)) << i;
        ChartList pieces;
        splitIntoUVComponents(chart, pieces);
        EXPECT_EQ(pieces.size(), 1u) << i;
    }
    EXPECT_TRUE(triangles > 4500u && triangles < 7500u);
    EXPECT_FALSE(computeStats(model.charts, model.sharedPositions).overlapsFound);
    const Model again = meshgen::randomChartLayout(30, 6000, 7), other = meshgen::randomChartLayout(30, 6000, 8);
    for (size_t i = 0; i < model.charts.size(); ++i)
        EXPECT_EQ(again.charts[i].uvCoords2D, model.charts[i].uvCoords2D);
    EXPECT_NE(other.charts[0].uvCoords2D, model.charts[0].uvCoords2D);
    EXPECT_LE(meshgen::randomChartLayout(0, 0, 1).charts.size(), 1u);
}

TEST(Generators, TheInputCheckNoticesBrokenMeshes)
{
    MeshData flipped = meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle), degenerate = flipped, unused = meshgen::cubeNet(1);
    std::swap(flipped.uvIndices[1], flipped.uvIndices[2]);
    std::swap(flipped.posIndices[1], flipped.posIndices[2]);
    degenerate.posIndices[1] = degenerate.posIndices[0];
    unused.positions.insert(unused.positions.end(), {5.0, 5.0, 5.0});
    const std::vector<std::pair<MeshData, const char*>> cases = {
        {flipped, "not counter-clockwise"}, {flipped, "inconsistent 3D orientation"}, {degenerate, "degenerate triangle 0"},
        {unused, "unused vertex"}, {meshgen::foldedStrip(240, 3), "crosses itself"}};
    for (const auto& c : cases)
        EXPECT_NE(inputProblems(c.first).find(c.second), std::string::npos) << c.second;
}
