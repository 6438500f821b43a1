#include "flatten/flattening.h"
#include "flatten/flattening_system.h"
#include "flatten/flattening_meshes.h"
#include "meshgen/meshgen.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

using flatmesh::Mesh;

Chart chartFor(const Mesh& m)
{
    Chart c;
    c.triIndicesPos = m.tri;
    c.triIndicesUV = m.tri;
    c.uvCoords2D.assign(2 * m.numVertices(), 0.0);
    return c;
}

double uvCross(const Chart& c, size_t t)
{
    const double* a = &c.uvCoords2D[2 * c.triIndicesUV[3 * t]];
    const double* b = &c.uvCoords2D[2 * c.triIndicesUV[3 * t + 1]];
    const double* d = &c.uvCoords2D[2 * c.triIndicesUV[3 * t + 2]];
    return (b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]);
}

// Every triangle has the same, non-zero orientation.
bool flipFree(const Chart& c)
{
    const double s0 = uvCross(c, 0);
    for (size_t t = 0; t < c.numTriangles(); ++t) {
        if (!(uvCross(c, t) * s0 > 0.0))
            return false;
    }
    return true;
}

anglesystem::AngleSystem systemFor(const Mesh& m, const std::vector<uint32_t>* exempt = nullptr)
{
    HalfedgeMesh he;
    EXPECT_FALSE(buildHalfedgeMesh(m.tri, m.numVertices(), he));
    return anglesystem::buildAngleSystem(m.tri, he, exempt);
}

std::string flattenCapturing(Chart& chart, const Mesh& m, FlatteningReport* report = nullptr)
{
    testing::internal::CaptureStdout();
    const FlatteningReport r = runAngleFlattening(chart, m.pos, nullptr);
    if (report)
        *report = r;
    return testing::internal::GetCapturedStdout();
}

} // namespace

// --- corner angles -----------------------------------------------------------

TEST(CornerAngles, RightTriangleAndDegenerateCornersStayFiniteAndSumToPi)
{
    // Right isosceles triangle, a collinear one, one with two coincident
    // corners and one collapsed to a point.
    const iuv::UIntVector tri{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const iuv::DoubleVector pos{0, 0, 0, 1, 0, 0, 0, 1, 0,        // right
                                0, 0, 0, 1, 0, 0, 3, 0, 0,        // collinear
                                0, 0, 0, 0, 0, 0, 0, 1, 0,        // two coincide
                                2, 2, 2, 2, 2, 2, 2, 2, 2};       // a point
    const std::vector<double> a = cornerAngles(tri, pos);
    ASSERT_EQ(a.size(), 12u);
    EXPECT_NEAR(a[0], M_PI / 2, 1e-12);
    EXPECT_NEAR(a[1], M_PI / 4, 1e-12);
    EXPECT_NEAR(a[2], M_PI / 4, 1e-12);
    EXPECT_NEAR(a[3], 0.0, 1e-12);
    EXPECT_NEAR(a[4], M_PI, 1e-12); // the middle point of the collinear triangle
    for (size_t t = 0; t < 4; ++t) {
        for (size_t k = 0; k < 3; ++k)
            EXPECT_TRUE(std::isfinite(a[3 * t + k])) << t << " " << k;
        EXPECT_NEAR(a[3 * t] + a[3 * t + 1] + a[3 * t + 2], M_PI, 1e-9) << t;
    }
    EXPECT_NEAR(a[8], 0.0, 1e-12); // opposite the zero-length edge
}

TEST(CornerAngles, HugeAndTinyCoordinatesAndBadIndices)
{
    const iuv::UIntVector tri{0, 1, 2};
    for (double scale : {1e-300, 1e300}) {
        const iuv::DoubleVector pos{0, 0, 0, scale, 0, 0, 0, scale, 0};
        const std::vector<double> a = cornerAngles(tri, pos);
        EXPECT_NEAR(a[0], M_PI / 2, 1e-12) << scale;
        EXPECT_NEAR(a[1], M_PI / 4, 1e-12) << scale;
    }
    // A vertex that does not exist gives NaN for the corners that need it, and
    // reads nothing out of range.
    const std::vector<double> bad = cornerAngles(iuv::UIntVector{0, 1, 7}, iuv::DoubleVector{0, 0, 0, 1, 0, 0});
    ASSERT_EQ(bad.size(), 3u);
    for (double x : bad)
        EXPECT_TRUE(std::isnan(x));
    EXPECT_TRUE(cornerAngles(iuv::UIntVector{}, iuv::DoubleVector{}).empty());
}

// --- layout from angles ------------------------------------------------------

TEST(ReconstructUVs, RejectsUnusableInputAndLeavesUVsAlone)
{
    const iuv::UIntVector tri{0, 1, 2};
    const std::vector<double> ok{M_PI / 3, M_PI / 3, M_PI / 3};
    iuv::DoubleVector uv{5, 5, 5, 5, 5, 5, 5, 5};
    const iuv::DoubleVector before = uv;

    struct Case {
        iuv::UIntVector tri;
        std::vector<double> angles;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {tri, {M_PI / 3, nan, M_PI / 3}},        // angle not a number
        {tri, {M_PI / 3}},                       // too few angles
        {iuv::UIntVector{0, 1, 9}, ok},          // vertex out of range
        {tri, ok},                               // vertex 3 used by no triangle
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(reconstructUVsFromAngles(c.tri, c.angles, uv));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to reconstruct angles.\n");
        EXPECT_EQ(uv, before);
    }
    iuv::DoubleVector none;
    EXPECT_TRUE(reconstructUVsFromAngles(iuv::UIntVector{}, {}, none));
}

TEST(ReconstructUVs, EquilateralTriangleWithPinnedVertices)
{
    iuv::DoubleVector uv(6, 0.0);
    ASSERT_TRUE(reconstructUVsFromAngles(iuv::UIntVector{0, 1, 2}, {M_PI / 3, M_PI / 3, M_PI / 3}, uv));
    EXPECT_EQ(uv[2], 0.0);
    EXPECT_EQ(uv[3], 1.0);
    EXPECT_EQ(uv[4], 0.0);
    EXPECT_EQ(uv[5], 0.0);
    EXPECT_NEAR(std::hypot(uv[0] - uv[2], uv[1] - uv[3]), 1.0, 1e-12);
    EXPECT_NEAR(std::hypot(uv[0] - uv[4], uv[1] - uv[5]), 1.0, 1e-12);
}

// --- constraint system ---------------------------------------------------------

TEST(AngleSystem, ConstraintCounts)
{
    // A strip of triangles has no interior vertex: triangle constraints only.
    const Mesh strip = flatmesh::grid(1, [](double x, double y, double* p) { p[0] = x; p[1] = y; p[2] = 0; });
    const anglesystem::AngleSystem s1 = systemFor(strip);
    EXPECT_EQ(s1.numInterior, 0u);
    EXPECT_EQ(s1.numPlanarity, 0u);
    EXPECT_EQ(s1.numConstraints(), s1.numTriangles);

    // A 4 x 4 grid has 9 interior vertices; exempting two (and naming a
    // boundary vertex and one out of range, which change nothing) leaves 7
    // planarity constraints, numbered in interior order.
    const Mesh g = flatmesh::tiltedPlane(4);
    const std::vector<uint32_t> exempt{6, 12, 0, 999};
    const anglesystem::AngleSystem s2 = systemFor(g, &exempt);
    EXPECT_EQ(s2.numTriangles, 32u);
    EXPECT_EQ(s2.numInterior, 9u);
    EXPECT_EQ(s2.numPlanarity, 7u);
    EXPECT_EQ(s2.numConstraints(), 32u + 7u + 9u);
    EXPECT_EQ(s2.interiorIndex[6], 0u);
    EXPECT_EQ(s2.planarityIndex[6], InvalidIndex);
    EXPECT_EQ(s2.planarityIndex[7], 0u);
    EXPECT_EQ(s2.interiorIndex[0], InvalidIndex);
}

TEST(AngleSystem, JacobianMatchesFiniteDifferences)
{
    const Mesh cap = flatmesh::sphericalCap(3, 0.7);
    const anglesystem::AngleSystem sys = systemFor(cap);
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
        const Eigen::VectorXd column = (e1.constraints - e0.constraints) / h;
        EXPECT_LT((column - J.col(static_cast<Eigen::Index>(c))).norm(), 1e-5) << c;
        const double dF = (e1.energy() - e0.energy()) / h;
        EXPECT_NEAR(dF, e0.gradAlpha[static_cast<Eigen::Index>(c)], 1e-4) << c;
    }
}

TEST(AngleSystem, StepLeavingTheAngleRangeOnlyGrowsWeights)
{
    const Mesh cap = flatmesh::sphericalCap(4, 0.8);
    const anglesystem::AngleSystem sys = systemFor(cap);
    anglesystem::AngleState state = anglesystem::initialAngleState(sys, cornerAngles(cap.tri, cap.pos));
    // A target far beyond pi at one corner pulls the Newton step out of range.
    state.beta[7] = 20.0;
    const anglesystem::AngleState before = state;
    anglesystem::AngleEvaluation eval;
    anglesystem::evaluateAngleSystem(sys, state, eval);
    anglesystem::NewtonSolver solver;
    Eigen::VectorXd da, dl;
    ASSERT_TRUE(solver.solve(sys, state, eval, da, dl));
    EXPECT_EQ(anglesystem::applyStep(state, da, dl), anglesystem::StepOutcome::Rejected);
    EXPECT_EQ(state.alpha, before.alpha);
    EXPECT_EQ(state.lambda, before.lambda);
    EXPECT_EQ(state.beta, before.beta);
    size_t grown = 0;
    for (size_t c = 0; c < state.weight.size(); ++c) {
        const double next = before.alpha[c] + da[static_cast<Eigen::Index>(c)];
        const bool outside = !(next > 0.0 && next < anglesystem::PiPrime);
        EXPECT_DOUBLE_EQ(state.weight[c], outside ? before.weight[c] * 1.33 : before.weight[c]) << c;
        grown += outside;
    }
    EXPECT_GE(grown, 1u);
}

// --- whole flattening -----------------------------------------------------------

TEST(FlattenByAngles, FlatMeshNeedsNoIterationAndComesOutCongruent)
{
    const Mesh m = flatmesh::tiltedPlane(8);
    Chart chart = chartFor(m);
    FlatteningReport report;
    const std::string out = flattenCapturing(chart, m, &report);
    EXPECT_NE(out.find("---------------------------------------\nDone after 0 iterations\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Gradient magnitude: "), std::string::npos);
    EXPECT_NE(out.find("\nFinal energy (reconstruction c.): "), std::string::npos);
    EXPECT_NE(out.find("\nLargest error (radians): "), std::string::npos);
    ASSERT_TRUE(report.flattened);
    EXPECT_LT(report.largestError, 1e-7);

    const size_t n = m.numVertices();
    EXPECT_EQ(chart.uvCoords2D[2 * (n - 1)], 0.0);
    EXPECT_EQ(chart.uvCoords2D[2 * (n - 1) + 1], 0.0);
    EXPECT_EQ(chart.uvCoords2D[2 * (n - 2)], 0.0);
    EXPECT_EQ(chart.uvCoords2D[2 * (n - 2) + 1], 1.0);

    // Every edge is scaled by the same factor and no triangle is mirrored
    // against the others: congruent up to similarity and mirroring.
    auto dist3 = [&](uint32_t a, uint32_t b) {
        return std::sqrt(std::pow(m.pos[3 * a] - m.pos[3 * b], 2) + std::pow(m.pos[3 * a + 1] - m.pos[3 * b + 1], 2) +
                         std::pow(m.pos[3 * a + 2] - m.pos[3 * b + 2], 2));
    };
    auto dist2 = [&](uint32_t a, uint32_t b) {
        return std::hypot(chart.uvCoords2D[2 * a] - chart.uvCoords2D[2 * b],
                          chart.uvCoords2D[2 * a + 1] - chart.uvCoords2D[2 * b + 1]);
    };
    const double scale = dist2(uint32_t(n - 1), uint32_t(n - 2)) / dist3(uint32_t(n - 1), uint32_t(n - 2));
    for (size_t c = 0; c < m.tri.size(); ++c) {
        const uint32_t a = m.tri[c], b = m.tri[nextCorner(c)];
        EXPECT_NEAR(dist2(a, b), scale * dist3(a, b), 1e-9);
    }
    EXPECT_TRUE(flipFree(chart));
}

TEST(FlattenByAngles, CurvedDisksConverge)
{
    // Generated ring disks of 2,904 triangles: a cap reaching 1.2 radians from
    // the pole, and a saddle.
    for (const meshgen::MeshData& generated : {meshgen::sphericalCap(22, 1.2), meshgen::saddle(22)}) {
        Mesh m;
        m.tri = iuv::UIntVector(generated.posIndices);
        m.pos = iuv::DoubleVector(generated.positions);
        Chart chart = chartFor(m);
        FlatteningReport report;
        const std::string out = flattenCapturing(chart, m, &report);
        ASSERT_TRUE(report.flattened) << out;
        EXPECT_GT(report.iterations, 0);
        EXPECT_LE(report.iterations, 20);
        EXPECT_LT(report.finalGradient, 1e-4) << out;
        EXPECT_LT(report.largestError, 1e-6) << out;
        EXPECT_TRUE(flipFree(chart));
        for (double x : chart.uvCoords2D)
            ASSERT_TRUE(std::isfinite(x));
        // One block of the four per-iteration lines for every iteration.
        size_t blocks = 0;
        for (size_t at = out.find("Gradient magnitude: "); at != std::string::npos;
             at = out.find("Gradient magnitude: ", at + 1))
            ++blocks;
        EXPECT_EQ(blocks, static_cast<size_t>(report.iterations));
        std::ostringstream done;
        done << "Done after " << report.iterations << " iterations\n";
        EXPECT_NE(out.find(done.str()), std::string::npos);
    }
}

TEST(FlattenByAngles, DegenerateAndBrokenInputsGiveNoNaN)
{
    // A flat grid with one vertex moved onto its neighbour's edge line: a
    // zero-area triangle inside the mesh.
    Mesh m = flatmesh::grid(4, [](double x, double y, double* p) { p[0] = x; p[1] = y; p[2] = 0; });
    m.pos[3 * 6] = m.pos[3 * 5];
    m.pos[3 * 6 + 1] = m.pos[3 * 5 + 1];
    m.pos[3 * 6 + 2] = m.pos[3 * 5 + 2];
    Chart chart = chartFor(m);
    FlatteningReport report;
    flattenCapturing(chart, m, &report);
    for (double x : chart.uvCoords2D)
        EXPECT_TRUE(std::isfinite(x));

    // Non-finite coordinates and an unused vertex: no layout, UVs untouched.
    Mesh nan = flatmesh::tiltedPlane(2);
    nan.pos[4] = std::numeric_limits<double>::quiet_NaN();
    Chart c1 = chartFor(nan);
    std::string out = flattenCapturing(c1, nan, &report);
    EXPECT_FALSE(report.flattened);
    EXPECT_EQ(out, "Cannot flatten: the mesh has coordinates that are not finite.\n");
    EXPECT_EQ(c1.uvCoords2D, iuv::DoubleVector(2 * nan.numVertices(), 0.0));

    Mesh extra = flatmesh::tiltedPlane(2);
    extra.pos.insert(extra.pos.end(), {9.0, 9.0, 9.0});
    Chart c2 = chartFor(extra);
    out = flattenCapturing(c2, extra, &report);
    EXPECT_FALSE(report.flattened);
    EXPECT_EQ(c2.uvCoords2D, iuv::DoubleVector(2 * extra.numVertices(), 0.0));

    // A closed octahedron: its constraints are dependent, so the Newton system
    // is singular. The run ends and leaves finite coordinates.
    Mesh closed;
    closed.pos = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    closed.tri = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    Chart c3 = chartFor(closed);
    out = flattenCapturing(c3, closed, &report);
    EXPECT_LE(report.iterations, 20);
    EXPECT_NE(out.find("Done after "), std::string::npos);
    for (double x : c3.uvCoords2D)
        EXPECT_TRUE(std::isfinite(x));

    Chart empty;
    EXPECT_EQ(flattenCapturing(empty, Mesh{}), "");
}
