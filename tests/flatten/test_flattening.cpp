#include "flatten/flattening.h"
#include "flatten/flattening_meshes.h"
#include "flatten/flattening_system.h"
#include "meshgen/meshgen.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

using flatmesh::Mesh;
const double NaN = std::numeric_limits<double>::quiet_NaN();

Chart chartFor(const Mesh& m)
{
    Chart c;
    c.triIndicesPos = m.tri;
    c.triIndicesUV = m.tri;
    c.uvCoords2D.assign(2 * m.numVertices(), 0.0);
    return c;
}

// Every triangle has the same, non-zero orientation.
bool flipFree(const Chart& c)
{
    for (size_t t = 0; t < c.numTriangles(); ++t)
        if (!(uvTriangleCross(c, t) * uvTriangleCross(c, 0) > 0.0))
            return false;
    return true;
}

std::string flattenCapturing(Chart& chart, const Mesh& m, FlatteningReport& report)
{
    testing::internal::CaptureStdout();
    report = runAngleFlattening(chart, m.pos, nullptr);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(CornerAngles, StayFiniteAndSumToPiEvenForDegenerateTriangles)
{
    // Right isosceles, collinear, two corners coinciding, a point; then tiny and huge.
    const iuv::DoubleVector pos{0, 0, 0, 1, 0, 0, 0, 1, 0,   0, 0, 0, 1, 0, 0, 3, 0, 0,
                                0, 0, 0, 0, 0, 0, 0, 1, 0,   2, 2, 2, 2, 2, 2, 2, 2, 2,
                                0, 0, 0, 1e-300, 0, 0, 0, 1e-300, 0,   0, 0, 0, 1e300, 0, 0, 0, 1e300, 0};
    iuv::UIntVector tri;
    for (uint32_t v = 0; v < 18; ++v)
        tri.push_back(v);
    const std::vector<double> a = cornerAngles(tri, pos);
    const std::vector<std::pair<size_t, double>> expected = {
        {0, M_PI / 2}, {1, M_PI / 4}, {3, 0.0}, {4, M_PI}, {8, 0.0}, {12, M_PI / 2}, {13, M_PI / 4}, {15, M_PI / 2}, {16, M_PI / 4}};
    for (const auto& e : expected)
        EXPECT_NEAR(a[e.first], e.second, 1e-12) << e.first;
    for (size_t t = 0; t < 6; ++t)
        EXPECT_NEAR(a[3 * t] + a[3 * t + 1] + a[3 * t + 2], M_PI, 1e-9) << t;
    // A vertex that does not exist gives NaN and reads nothing out of range.
    for (double x : cornerAngles(iuv::UIntVector{0, 1, 7}, iuv::DoubleVector{0, 0, 0, 1, 0, 0}))
        EXPECT_TRUE(std::isnan(x));
}

TEST(ReconstructUVs, RejectsUnusableInputAndLeavesUVsAlone)
{
    const iuv::UIntVector tri{0, 1, 2};
    const std::vector<double> ok{M_PI / 3, M_PI / 3, M_PI / 3};
    const iuv::DoubleVector before{5, 5, 5, 5, 5, 5, 5, 5};
    const std::vector<std::pair<iuv::UIntVector, std::vector<double>>> cases = {
        {tri, {M_PI / 3, NaN, M_PI / 3}}, {tri, {M_PI / 3}}, {iuv::UIntVector{0, 1, 9}, ok},
        {tri, ok}, // vertex 3 used by no triangle
    };
    for (const auto& c : cases) {
        iuv::DoubleVector uv = before;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(reconstructUVsFromAngles(c.first, c.second, uv));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to reconstruct angles.\n");
        EXPECT_EQ(uv, before);
    }
}

TEST(AngleSystem, ConstraintCountsAndJacobianAgainstFiniteDifferences)
{
    // A 4 x 4 grid has 9 interior vertices; exempting two (a boundary vertex
    // and one out of range change nothing) leaves 7 planarity constraints.
    const Mesh g = flatmesh::tiltedPlane(4);
    HalfedgeMesh he;
    ASSERT_FALSE(buildHalfedgeMesh(g.tri, g.numVertices(), he));
    const std::vector<uint32_t> exempt{6, 12, 0, 999};
    const anglesystem::AngleSystem s = anglesystem::buildAngleSystem(g.tri, he, &exempt);
    EXPECT_EQ(std::make_tuple(s.numTriangles, s.numInterior, s.numPlanarity, s.numConstraints()),
              std::make_tuple(size_t(32), size_t(9), size_t(7), size_t(48)));
    EXPECT_EQ(std::make_pair(s.planarityIndex[6], s.planarityIndex[7]), std::make_pair(uint32_t(InvalidIndex), 0u));

    const Mesh cap = flatmesh::sphericalCap(3, 0.7);
    ASSERT_FALSE(buildHalfedgeMesh(cap.tri, cap.numVertices(), he));
    const anglesystem::AngleSystem sys = anglesystem::buildAngleSystem(cap.tri, he, nullptr);
    anglesystem::AngleState state = anglesystem::initialAngleState(sys, cornerAngles(cap.tri, cap.pos));
    for (size_t k = 0; k < state.lambda.size(); ++k)
        state.lambda[k] = 0.1 * std::sin(double(k));
    anglesystem::AngleEvaluation e0;
    anglesystem::evaluateAngleSystem(sys, state, e0);
    const Eigen::MatrixXd J = Eigen::MatrixXd(e0.jacobian);
    const double h = 1e-7;
    for (size_t c = 0; c < state.alpha.size(); c += 5) {
        anglesystem::AngleState moved = state;
        moved.alpha[c] += h;
        anglesystem::AngleEvaluation e1;
        anglesystem::evaluateAngleSystem(sys, moved, e1);
        EXPECT_LT(((e1.constraints - e0.constraints) / h - J.col(Eigen::Index(c))).norm(), 1e-5) << c;
        EXPECT_NEAR((e1.energy() - e0.energy()) / h, e0.gradAlpha[Eigen::Index(c)], 1e-4) << c;
    }
}

TEST(FlattenByAngles, FlatMeshComesOutCongruentWithoutIterating)
{
    const Mesh m = flatmesh::tiltedPlane(8);
    Chart chart = chartFor(m);
    FlatteningReport report;
    const std::string out = flattenCapturing(chart, m, report);
    EXPECT_NE(out.find("---------------------------------------\nDone after 0 iterations\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nFinal energy (reconstruction c.): "), std::string::npos);
    EXPECT_NE(out.find("\nLargest error (radians): "), std::string::npos);
    ASSERT_TRUE(report.flattened);
    EXPECT_LT(report.largestError, 1e-7);
    // Every edge scaled by one factor, no triangle mirrored: congruent up to similarity.
    const auto d3 = [&](uint32_t a, uint32_t b) {
        return std::hypot(m.pos[3 * a] - m.pos[3 * b], m.pos[3 * a + 1] - m.pos[3 * b + 1], m.pos[3 * a + 2] - m.pos[3 * b + 2]);
    };
    const auto d2 = [&](uint32_t a, uint32_t b) {
        return std::hypot(chart.uvCoords2D[2 * a] - chart.uvCoords2D[2 * b], chart.uvCoords2D[2 * a + 1] - chart.uvCoords2D[2 * b + 1]);
    };
    const uint32_t n = uint32_t(m.numVertices());
    const double scale = d2(n - 1, n - 2) / d3(n - 1, n - 2);
    for (size_t c = 0; c < m.tri.size(); ++c)
        EXPECT_NEAR(d2(m.tri[c], m.tri[nextCorner(c)]), scale * d3(m.tri[c], m.tri[nextCorner(c)]), 1e-9);
    EXPECT_TRUE(flipFree(chart));
}

TEST(FlattenByAngles, CurvedDisksConverge)
{
    for (const meshgen::MeshData& generated : {meshgen::sphericalCap(14, 1.2), meshgen::saddle(14)}) {
        Mesh m;
        m.tri = iuv::UIntVector(generated.posIndices);
        m.pos = iuv::DoubleVector(generated.positions);
        Chart chart = chartFor(m);
        FlatteningReport report;
        const std::string out = flattenCapturing(chart, m, report);
        ASSERT_TRUE(report.flattened) << out;
        EXPECT_TRUE(report.iterations > 0 && report.iterations <= 20);
        EXPECT_LT(report.finalGradient, 1e-4) << out;
        EXPECT_LT(report.largestError, 1e-6) << out;
        EXPECT_TRUE(flipFree(chart));
        size_t blocks = 0; // one block of lines per iteration
        for (size_t at = out.find("Gradient magnitude: "); at != std::string::npos; at = out.find("Gradient magnitude: ", at + 1))
            ++blocks;
        EXPECT_EQ(blocks, size_t(report.iterations));
        std::ostringstream done;
        done << "Done after " << report.iterations << " iterations\n";
        EXPECT_NE(out.find(done.str()), std::string::npos);
    }
}

TEST(FlattenByAngles, DegenerateAndBrokenInputsGiveNoNaN)
{
    // A zero-area triangle inside the mesh; a closed octahedron (singular Newton system).
    Mesh pinched = flatmesh::grid(4, [](double x, double y, double* p) { p[0] = x; p[1] = y; p[2] = 0; });
    std::copy(pinched.pos.begin() + 15, pinched.pos.begin() + 18, pinched.pos.begin() + 18);
    Mesh closed;
    closed.pos = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    closed.tri = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    for (const Mesh& m : {pinched, closed}) {
        Chart chart = chartFor(m);
        FlatteningReport report;
        flattenCapturing(chart, m, report);
        EXPECT_LE(report.iterations, 20);
        for (double x : chart.uvCoords2D)
            EXPECT_TRUE(std::isfinite(x));
    }
    // Non-finite coordinates and an unused vertex: no layout, UVs untouched.
    Mesh nan = flatmesh::tiltedPlane(2), extra = nan;
    nan.pos[4] = NaN;
    extra.pos.insert(extra.pos.end(), {9.0, 9.0, 9.0});
    for (bool notFinite : {true, false}) {
        const Mesh& m = notFinite ? nan : extra;
        Chart chart = chartFor(m);
        FlatteningReport report;
        const std::string out = flattenCapturing(chart, m, report);
        EXPECT_FALSE(report.flattened);
        EXPECT_EQ(chart.uvCoords2D, iuv::DoubleVector(2 * m.numVertices(), 0.0));
        if (notFinite) {
            EXPECT_EQ(out, "Cannot flatten: the mesh has coordinates that are not finite.\n");
        }
    }
    Chart empty;
    FlatteningReport report;
    EXPECT_EQ(flattenCapturing(empty, Mesh{}, report), "");
}
