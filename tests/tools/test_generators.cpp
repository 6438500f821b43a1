// The test-mesh generators: every mesh is valid input of its kind, with the
// shape the tests that use it rely on.
#include "generated_input.h"
#include "model/stats.h"
#include "topology/mesh_topology.h"
#include "topology/layout_stats.h"
#include "topology/chart_pieces.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using meshgen::MeshData;

namespace {

HalfedgeMesh joinedMesh(const MeshData& mesh)
{
    HalfedgeMesh h;
    EXPECT_FALSE(buildHalfedgeMesh(iuv::UIntVector(mesh.posIndices), mesh.numVertices(), h));
    return h;
}

HalfedgeMesh uvMesh(const MeshData& mesh)
{
    HalfedgeMesh h;
    EXPECT_FALSE(buildHalfedgeMesh(iuv::UIntVector(mesh.uvIndices), mesh.numUVVertices(), h));
    return h;
}

long eulerCharacteristic(const MeshData& mesh)
{
    return long(mesh.numVertices()) - long(joinedMesh(mesh).halfedges.size() / 2) + long(mesh.numTriangles());
}

} // namespace

TEST(Generators, CylinderIsOneRectangleWithOneSeam)
{
    const MeshData mesh = meshgen::openCylinder(12, 4);
    EXPECT_EQ(inputProblems(mesh), "");
    EXPECT_EQ(mesh.numTriangles(), 2u * 12 * 4);
    EXPECT_EQ(joinedMesh(mesh).boundaryLoops.size(), 2u); // the two rims
    EXPECT_EQ(uvMesh(mesh).boundaryLoops.size(), 1u);
    MeshTopology topology;
    buildMeshTopology(meshgen::toModel(mesh).charts, mesh.numVertices(), {}, topology);
    EXPECT_EQ(topology.numSeams(), 1u);
    EXPECT_TRUE(mesh.cones.empty());
}

TEST(Generators, FlatGridsFollowTheirOutlines)
{
    using meshgen::Outline;
    const MeshData rect = meshgen::flatGrid(6, 4, Outline::Rectangle);
    EXPECT_EQ(inputProblems(rect), "");
    EXPECT_EQ(rect.numTriangles(), 48u);
    for (size_t i = 0; i < rect.uvIndices.size(); ++i) {
        EXPECT_DOUBLE_EQ(rect.uvs[2 * rect.uvIndices[i]], rect.positions[3 * rect.posIndices[i]]);
        EXPECT_DOUBLE_EQ(rect.uvs[2 * rect.uvIndices[i] + 1], rect.positions[3 * rect.posIndices[i] + 1]);
    }

    const MeshData l = meshgen::flatGrid(8, 8, Outline::LShape);
    EXPECT_EQ(inputProblems(l), "");
    EXPECT_NEAR(totalUVArea(meshgen::toModel(l).charts), 0.75, 1e-6);

    const MeshData holes = meshgen::flatGrid(30, 30, Outline::WithHoles);
    EXPECT_EQ(inputProblems(holes), "");
    EXPECT_EQ(uvMesh(holes).boundaryLoops.size(), 3u);
}

TEST(Generators, CubeNetIsAClosedCubeUnfoldedWithoutStretch)
{
    const MeshData mesh = meshgen::cubeNet(3);
    EXPECT_EQ(inputProblems(mesh), "");
    EXPECT_EQ(mesh.numTriangles(), 12u * 9);
    EXPECT_TRUE(joinedMesh(mesh).boundaryLoops.empty());
    EXPECT_EQ(eulerCharacteristic(mesh), 2);
    EXPECT_EQ(mesh.cones.size(), 8u);
    // Every edge keeps its length in the net.
    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const size_t a = 3 * t + k, b = 3 * t + (k + 1) % 3;
            const double* pa = &mesh.positions[3 * mesh.posIndices[a]];
            const double* pb = &mesh.positions[3 * mesh.posIndices[b]];
            const double* ua = &mesh.uvs[2 * mesh.uvIndices[a]];
            const double* ub = &mesh.uvs[2 * mesh.uvIndices[b]];
            const double l3 = std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]);
            EXPECT_NEAR(l3, std::hypot(ua[0] - ub[0], ua[1] - ub[1]), 1e-6);
        }
    }
}

TEST(Generators, CurvedDisksAreUntexturedDisks)
{
    for (const MeshData& mesh : {meshgen::sphericalCap(5, 1.2), meshgen::saddle(5)}) {
        EXPECT_EQ(inputProblems(mesh), "");
        EXPECT_TRUE(mesh.uvIndices.empty());
        EXPECT_EQ(mesh.numTriangles(), 6u * 25);
        EXPECT_EQ(joinedMesh(mesh).boundaryLoops.size(), 1u);
        EXPECT_EQ(eulerCharacteristic(mesh), 1);
    }
    EXPECT_EQ(meshgen::sphericalCap(91, 1.0).numTriangles(), 49686u);
}

TEST(Generators, LoopingStripOverlapsWithoutFlips)
{
    const MeshData mesh = meshgen::foldedStrip(240, 3);
    EXPECT_EQ(inputProblems(mesh, true), "");
    EXPECT_EQ(mesh.numTriangles(), 8u * 240);
    EXPECT_EQ(meshgen::foldedStrip(6250, 5).numTriangles(), 50000u);
}

TEST(Generators, OutOfRangeArgumentsStillGiveValidMeshes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(inputProblems(meshgen::openCylinder(-3, 0)), "");
    EXPECT_EQ(inputProblems(meshgen::flatGrid(0, -1, meshgen::Outline::WithHoles)), "");
    EXPECT_EQ(inputProblems(meshgen::cubeNet(0)), "");
    EXPECT_EQ(inputProblems(meshgen::sphericalCap(0, nan)), "");
    EXPECT_EQ(inputProblems(meshgen::saddle(-2)), "");
    EXPECT_EQ(inputProblems(meshgen::foldedStrip(1, 1), true), "");
}

TEST(Generators, ColoursAndDroppedUVs)
{
    MeshData mesh = meshgen::cubeNet(2);
    meshgen::addColors(mesh);
    EXPECT_EQ(inputProblems(mesh), "");
    ASSERT_EQ(mesh.colors.size(), mesh.positions.size());
    for (double c : mesh.colors) {
        EXPECT_GE(c, 0.0);
        EXPECT_LE(c, 1.0);
    }
    meshgen::dropUVs(mesh);
    EXPECT_TRUE(mesh.uvs.empty());
    EXPECT_TRUE(mesh.uvIndices.empty());
    EXPECT_EQ(inputProblems(mesh), "");
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
        EXPECT_FALSE(hasUVFlips(chart)) << i;
        EXPECT_FALSE(hasUVOverlaps(chart)) << i;
        ChartList pieces;
        splitIntoUVComponents(chart, pieces);
        EXPECT_EQ(pieces.size(), 1u) << i;
    }
    EXPECT_GT(triangles, 4500u);
    EXPECT_LT(triangles, 7500u);
    EXPECT_FALSE(computeStats(model.charts, model.sharedPositions).overlapsFound);

    const Model again = meshgen::randomChartLayout(30, 6000, 7);
    const Model other = meshgen::randomChartLayout(30, 6000, 8);
    ASSERT_EQ(again.charts.size(), model.charts.size());
    for (size_t i = 0; i < model.charts.size(); ++i)
        EXPECT_EQ(again.charts[i].uvCoords2D, model.charts[i].uvCoords2D);
    EXPECT_NE(other.charts[0].uvCoords2D, model.charts[0].uvCoords2D);
    EXPECT_TRUE(meshgen::randomChartLayout(0, 0, 1).charts.size() <= 1u);
}

TEST(Generators, TheInputCheckNoticesBrokenMeshes)
{
    MeshData flipped = meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle);
    std::swap(flipped.uvIndices[1], flipped.uvIndices[2]);
    std::swap(flipped.posIndices[1], flipped.posIndices[2]);
    EXPECT_NE(inputProblems(flipped).find("not counter-clockwise"), std::string::npos);
    EXPECT_NE(inputProblems(flipped).find("inconsistent 3D orientation"), std::string::npos);

    MeshData degenerate = meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle);
    degenerate.posIndices[1] = degenerate.posIndices[0];
    EXPECT_NE(inputProblems(degenerate).find("degenerate triangle 0"), std::string::npos);

    MeshData unused = meshgen::cubeNet(1);
    unused.positions.insert(unused.positions.end(), {5.0, 5.0, 5.0});
    EXPECT_NE(inputProblems(unused).find("unused vertex"), std::string::npos);

    EXPECT_NE(inputProblems(meshgen::foldedStrip(240, 3)).find("crosses itself"), std::string::npos);
}
