// Untextured disks (spherical cap, saddle) and the self-overlapping strip.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using meshgen::MeshData;

namespace {

// Sound untextured open disk: valid indices, oriented manifold, Euler
// characteristic 1, the given number of boundary edges.
void expectUntexturedDisk(const MeshData& mesh, size_t boundaryEdges)
{
    EXPECT_FALSE(mesh.isTextured());
    EXPECT_TRUE(mesh.uvs.empty());
    EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
    EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
    const meshchecks::Topology topo = meshchecks::topology(mesh);
    EXPECT_EQ(topo.eulerCharacteristic(), 1);
    EXPECT_EQ(topo.boundaryEdges, boundaryEdges);
}

// Unnormalised normal of triangle t and its centroid.
void normalAndCentroid(const MeshData& mesh, size_t t, double* n, double* centre)
{
    const double* a = &mesh.positions[3 * mesh.posIndices[3 * t]];
    const double* b = &mesh.positions[3 * mesh.posIndices[3 * t + 1]];
    const double* c = &mesh.positions[3 * mesh.posIndices[3 * t + 2]];
    const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
    for (int i = 0; i < 3; ++i)
        centre[i] = (a[i] + b[i] + c[i]) / 3.0;
}

} // namespace

TEST(SphericalCap, RingsOnTheSphereFacingOutwards)
{
    const int rings = 8;
    const double capAngle = 1.2;
    const MeshData mesh = meshgen::sphericalCap(rings, capAngle);
    EXPECT_EQ(mesh.numTriangles(), size_t(6 * rings * rings));
    EXPECT_EQ(mesh.numVertices(), size_t(1 + 3 * rings * (rings + 1)));
    expectUntexturedDisk(mesh, size_t(6 * rings));
    for (size_t k = 0; k < mesh.numVertices(); ++k) {
        const double* p = &mesh.positions[3 * k];
        EXPECT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 1.0, 1e-6);
        EXPECT_GE(p[2], std::cos(capAngle) - 1e-6);
    }
    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        double n[3], c[3];
        normalAndCentroid(mesh, t, n, c);
        EXPECT_GT(n[0] * c[0] + n[1] * c[1] + n[2] * c[2], 0.0) << "triangle " << t;
    }
}

TEST(SphericalCap, OutOfRangeArgumentsStayValid)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double angle : {nan, inf, -inf, -1.0, 0.0, 3.14159, 100.0}) {
        SCOPED_TRACE(angle);
        expectUntexturedDisk(meshgen::sphericalCap(3, angle), 18);
    }
    expectUntexturedDisk(meshgen::sphericalCap(0, 1.0), 6);
    expectUntexturedDisk(meshgen::sphericalCap(INT_MIN, 1.0), 6);
}

TEST(SphericalCap, ScalesToFiftyThousandTriangles)
{
    const MeshData mesh = meshgen::sphericalCap(91, 1.5);
    EXPECT_GT(mesh.numTriangles(), 49000u);
    EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
    EXPECT_EQ(meshchecks::topology(mesh).eulerCharacteristic(), 1);
}

TEST(Saddle, GraphOverTheUnitDisk)
{
    const int rings = 10;
    const MeshData mesh = meshgen::saddle(rings);
    EXPECT_EQ(mesh.numTriangles(), size_t(6 * rings * rings));
    expectUntexturedDisk(mesh, size_t(6 * rings));
    for (size_t k = 0; k < mesh.numVertices(); ++k) {
        const double* p = &mesh.positions[3 * k];
        EXPECT_LE(std::hypot(p[0], p[1]), 1.0 + 1e-6);
        EXPECT_NEAR(p[2], p[0] * p[0] - p[1] * p[1], 1e-6);
    }
    // Upward normals everywhere: the disk is consistently oriented.
    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        double n[3], c[3];
        normalAndCentroid(mesh, t, n, c);
        EXPECT_GT(n[2], 0.0) << "triangle " << t;
    }
    expectUntexturedDisk(meshgen::saddle(-5), 6);
}

TEST(FoldedStrip, OverlapsWithoutFlips)
{
    for (int folds : {1, 3}) {
        SCOPED_TRACE(folds);
        const MeshData mesh = meshgen::foldedStrip(120 * folds, folds);
        EXPECT_EQ(mesh.numTriangles(), size_t(8 * 120 * folds));
        EXPECT_TRUE(mesh.cones.empty());
        EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::orientationProblems(mesh)), "");
        const meshchecks::Topology topo = meshchecks::topology(mesh);
        EXPECT_EQ(topo.eulerCharacteristic(), 1);
        EXPECT_EQ(topo.uvComponents, 1u);
        EXPECT_TRUE(meshchecks::uvBoundaryCrossesItself(mesh));
        EXPECT_FALSE(hasUVFlips(meshgen::toModel(mesh).charts[0]));
        // 3D: a strip 0.8 wide, gently arched.
        double minY = 1e9, maxY = -1e9, maxZ = 0.0, maxX = 0.0;
        for (size_t k = 0; k < mesh.numVertices(); ++k) {
            maxX = std::max(maxX, mesh.positions[3 * k]);
            minY = std::min(minY, mesh.positions[3 * k + 1]);
            maxY = std::max(maxY, mesh.positions[3 * k + 1]);
            maxZ = std::max(maxZ, std::fabs(mesh.positions[3 * k + 2]));
        }
        EXPECT_NEAR(maxY - minY, 0.8, 1e-6);
        EXPECT_LT(maxZ, 0.1 * maxX);
    }
}

TEST(FoldedStrip, EachLoopIsResolvedAtAnySize)
{
    // Too few segments for the loops are raised; every size keeps the
    // triangles counter-clockwise.
    for (const auto& args : {std::make_pair(0, 0), std::make_pair(10, 5), std::make_pair(INT_MIN, INT_MIN),
                             std::make_pair(6250, 5)}) {
        SCOPED_TRACE(args.first);
        const MeshData mesh = meshgen::foldedStrip(args.first, args.second);
        EXPECT_GE(mesh.numTriangles(), size_t(8 * 24 * std::max(1, args.second)));
        EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::orientationProblems(mesh)), "");
        EXPECT_TRUE(meshchecks::uvBoundaryCrossesItself(mesh));
    }
    EXPECT_EQ(meshgen::foldedStrip(6250, 5).numTriangles(), 50000u);
}
