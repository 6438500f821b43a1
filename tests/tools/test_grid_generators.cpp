// The grid-based generators: open cylinder, flat grids and the cube net.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <set>

using meshgen::MeshData;
using meshgen::Outline;

namespace {

// A valid single-chart input: sound indices, manifold, all counter-clockwise,
// one UV component, a boundary that does not cross itself.
void expectValidChart(const MeshData& mesh)
{
    EXPECT_GT(mesh.numTriangles(), 0u);
    EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
    EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
    EXPECT_EQ(meshchecks::describe(meshchecks::orientationProblems(mesh)), "");
    EXPECT_EQ(meshchecks::topology(mesh).uvComponents, 1u);
    EXPECT_FALSE(meshchecks::uvBoundaryCrossesItself(mesh));
}

double length3(const double* a, const double* b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

double length2(const double* a, const double* b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1]);
}

} // namespace

TEST(OpenCylinder, CountsTopologyAndSeam)
{
    const int segments = 12, rings = 5;
    const MeshData mesh = meshgen::openCylinder(segments, rings);
    expectValidChart(mesh);
    EXPECT_EQ(mesh.numTriangles(), size_t(2 * segments * rings));
    EXPECT_EQ(mesh.numVertices(), size_t(segments * (rings + 1)));
    EXPECT_EQ(mesh.numUVVertices(), size_t((segments + 1) * (rings + 1)));
    EXPECT_TRUE(mesh.cones.empty());
    EXPECT_TRUE(mesh.colors.empty());

    const meshchecks::Topology topo = meshchecks::topology(mesh);
    EXPECT_EQ(topo.eulerCharacteristic(), 0); // an annulus
    EXPECT_EQ(topo.boundaryEdges, size_t(2 * segments));
    EXPECT_EQ(topo.uvBoundaryEdges, size_t(2 * segments + 2 * rings));

    // Every 3D vertex lies on the unit cylinder between z = -1 and 1.
    for (size_t k = 0; k < mesh.numVertices(); ++k) {
        EXPECT_NEAR(std::hypot(mesh.positions[3 * k], mesh.positions[3 * k + 1]), 1.0, 1e-6);
        EXPECT_LE(std::fabs(mesh.positions[3 * k + 2]), 1.0);
    }
    // The seam: UV vertices at u = 0 and u = 2 pi of one ring share their 3D vertex.
    std::map<uint32_t, std::set<uint32_t>> uvOfPos;
    for (size_t c = 0; c < mesh.posIndices.size(); ++c)
        uvOfPos[mesh.posIndices[c]].insert(mesh.uvIndices[c]);
    size_t seamVertices = 0;
    for (const auto& entry : uvOfPos) {
        ASSERT_LE(entry.second.size(), 2u);
        if (entry.second.size() == 2) {
            ++seamVertices;
            const uint32_t a = *entry.second.begin(), b = *entry.second.rbegin();
            EXPECT_NEAR(std::fabs(mesh.uvs[2 * a] - mesh.uvs[2 * b]), 2.0 * M_PI, 1e-5);
            EXPECT_EQ(mesh.uvs[2 * a + 1], mesh.uvs[2 * b + 1]);
        }
    }
    EXPECT_EQ(seamVertices, size_t(rings + 1));
}

TEST(OpenCylinder, ClampsSizes)
{
    for (const auto& args : {std::make_pair(0, 0), std::make_pair(-7, -1), std::make_pair(INT_MIN, INT_MAX / 1000000)}) {
        const MeshData mesh = meshgen::openCylinder(args.first, args.second);
        expectValidChart(mesh);
        EXPECT_GE(mesh.numTriangles(), 6u);
    }
    EXPECT_EQ(meshgen::openCylinder(INT_MAX, 1).numTriangles(), size_t(2 * meshgen::kMaxGridSize));
}

TEST(FlatGrid, RectangleMatchesPositions)
{
    const MeshData mesh = meshgen::flatGrid(7, 3, Outline::Rectangle);
    expectValidChart(mesh);
    EXPECT_EQ(mesh.numTriangles(), 42u);
    EXPECT_EQ(mesh.numVertices(), 32u);
    EXPECT_EQ(meshchecks::topology(mesh).eulerCharacteristic(), 1);
    ASSERT_EQ(mesh.uvIndices, mesh.posIndices);
    for (size_t k = 0; k < mesh.numVertices(); ++k) {
        EXPECT_EQ(mesh.uvs[2 * k], mesh.positions[3 * k]);
        EXPECT_EQ(mesh.uvs[2 * k + 1], mesh.positions[3 * k + 1]);
        EXPECT_EQ(mesh.positions[3 * k + 2], 0.0);
        EXPECT_GE(mesh.uvs[2 * k], 0.0);
        EXPECT_LE(mesh.uvs[2 * k], 1.0);
    }
}

TEST(FlatGrid, LShapeRemovesUpperRightQuadrant)
{
    const MeshData mesh = meshgen::flatGrid(10, 8, Outline::LShape);
    expectValidChart(mesh);
    EXPECT_EQ(mesh.numTriangles(), size_t(2 * (80 - 5 * 4)));
    EXPECT_EQ(meshchecks::topology(mesh).eulerCharacteristic(), 1);
    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        double cx = 0.0, cy = 0.0;
        for (int i = 0; i < 3; ++i) {
            cx += mesh.positions[3 * mesh.posIndices[3 * t + i]] / 3.0;
            cy += mesh.positions[3 * mesh.posIndices[3 * t + i] + 1] / 3.0;
        }
        EXPECT_FALSE(cx > 0.5 && cy > 0.5) << "triangle " << t;
    }
    // Smallest L: three quads.
    const MeshData smallest = meshgen::flatGrid(1, 1, Outline::LShape);
    expectValidChart(smallest);
    EXPECT_EQ(smallest.numTriangles(), 6u);
}

TEST(FlatGrid, HolesAreInnerBoundaryLoops)
{
    for (int n : {-3, 5, 6, 7, 13, 40}) {
        SCOPED_TRACE(n);
        const MeshData mesh = meshgen::flatGrid(n, n + 2, Outline::WithHoles);
        expectValidChart(mesh);
        // A disk with two holes.
        EXPECT_EQ(meshchecks::topology(mesh).eulerCharacteristic(), -1);
        const MeshData full = meshgen::flatGrid(std::max(n, 5), std::max(n + 2, 5), Outline::Rectangle);
        EXPECT_LT(mesh.numTriangles(), full.numTriangles());
        // The outer square stays whole: the bounding box is still [0,1]^2.
        double maxX = 0.0, maxY = 0.0;
        for (size_t k = 0; k < mesh.numVertices(); ++k) {
            maxX = std::max(maxX, mesh.positions[3 * k]);
            maxY = std::max(maxY, mesh.positions[3 * k + 1]);
        }
        EXPECT_EQ(maxX, 1.0);
        EXPECT_EQ(maxY, 1.0);
    }
}

TEST(FlatGrid, DegenerateSizesAreClamped)
{
    expectValidChart(meshgen::flatGrid(0, 0, Outline::Rectangle));
    EXPECT_EQ(meshgen::flatGrid(0, -4, Outline::Rectangle).numTriangles(), 2u);
    EXPECT_EQ(meshgen::flatGrid(INT_MAX, 1, Outline::Rectangle).numTriangles(), size_t(2 * meshgen::kMaxGridSize));
}

TEST(CubeNet, ClosedCubeWithEightCones)
{
    const int n = 4;
    const MeshData mesh = meshgen::cubeNet(n);
    expectValidChart(mesh);
    EXPECT_EQ(mesh.numTriangles(), size_t(12 * n * n));
    EXPECT_EQ(mesh.numVertices(), size_t(6 * n * n + 2));
    const meshchecks::Topology topo = meshchecks::topology(mesh);
    EXPECT_EQ(topo.boundaryEdges, 0u); // closed in 3D
    EXPECT_EQ(topo.eulerCharacteristic(), 2);
    EXPECT_EQ(topo.uvBoundaryEdges, size_t(14 * n)); // the cross has 14 face sides

    ASSERT_EQ(mesh.cones.size(), 8u);
    std::set<uint32_t> distinct(mesh.cones.begin(), mesh.cones.end());
    EXPECT_EQ(distinct.size(), 8u);
    for (uint32_t c : mesh.cones)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(std::fabs(mesh.positions[3 * c + i]), 0.5);
}

TEST(CubeNet, NetIsAnIsometricUnfolding)
{
    const MeshData mesh = meshgen::cubeNet(3);
    // Every triangle keeps its edge lengths: the faces are unfolded, not
    // distorted or mirrored.
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3;
            const double l3 = length3(&mesh.positions[3 * mesh.posIndices[3 * t + i]],
                                      &mesh.positions[3 * mesh.posIndices[3 * t + j]]);
            const double l2 = length2(&mesh.uvs[2 * mesh.uvIndices[3 * t + i]], &mesh.uvs[2 * mesh.uvIndices[3 * t + j]]);
            EXPECT_NEAR(l3, l2, 1e-6) << "triangle " << t;
        }
    // The net's boundary pairs up in 3D: every UV boundary edge meets exactly
    // one other, running the opposite way between the same 3D vertices.
    std::map<std::pair<uint32_t, uint32_t>, int> uvEdges;
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i)
            uvEdges[{mesh.uvIndices[3 * t + i], mesh.uvIndices[3 * t + (i + 1) % 3]}] = int(3 * t + i);
    std::map<std::pair<uint32_t, uint32_t>, int> boundary3D;
    for (const auto& e : uvEdges) {
        if (uvEdges.count({e.first.second, e.first.first}))
            continue;
        const int c = e.second;
        const int next = c - c % 3 + (c % 3 + 1) % 3;
        ++boundary3D[{mesh.posIndices[c], mesh.posIndices[next]}];
    }
    EXPECT_EQ(boundary3D.size(), 14u * 3u);
    for (const auto& e : boundary3D) {
        EXPECT_EQ(e.second, 1);
        EXPECT_EQ(boundary3D.count({e.first.second, e.first.first}), 1u);
    }
    // UV net inside [0,3] x [0,4].
    for (size_t k = 0; k < mesh.numUVVertices(); ++k) {
        EXPECT_GE(mesh.uvs[2 * k], 0.0);
        EXPECT_LE(mesh.uvs[2 * k], 3.0);
        EXPECT_GE(mesh.uvs[2 * k + 1], 0.0);
        EXPECT_LE(mesh.uvs[2 * k + 1], 4.0);
    }
}

TEST(CubeNet, SmallestAndClampedSizes)
{
    for (int n : {-2, 0, 1}) {
        const MeshData mesh = meshgen::cubeNet(n);
        expectValidChart(mesh);
        EXPECT_EQ(mesh.numTriangles(), 12u);
        EXPECT_EQ(mesh.cones.size(), 8u);
    }
}
