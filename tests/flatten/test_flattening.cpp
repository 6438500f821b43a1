#include "flatten/flattening.h"
#include "flatten/flattening_system.h"
#include "meshgen/meshgen.h"
#include "support/uv_coverage.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

struct Mesh {
    iuv::UIntVector tri;
    iuv::DoubleVector pos;
    size_t numVertices() const { return pos.size() / 3; }
    size_t numTriangles() const { return tri.size() / 3; }
};

Mesh meshOf(const meshgen::MeshData& d) { return {iuv::UIntVector(d.posIndices), iuv::DoubleVector(d.positions)}; }

// An n x n grid (vertex (i, j) numbered j * (n + 1) + i), jittered within its plane, laid into a tilted plane.
Mesh tiltedPlane(int n)
{
    Mesh m = meshOf(meshgen::flatGrid(n, n, meshgen::Outline::Rectangle));
    for (size_t v = 0; v < m.numVertices(); ++v) {
        double* p = &m.pos[3 * v];
        const double x = p[0] + 0.15 / n * std::sin(12.9898 * p[0] + 78.233 * p[1]);
        const double y = p[1] + 0.15 / n * std::cos(39.346 * p[0] + 11.135 * p[1]);
        p[0] = 0.8 * x + 0.1 * y + 3.0;
        p[1] = 0.36 * x - 0.6 * y;
        p[2] = 0.48 * x + 0.8 * y - 1.0;
    }
    return m;
}

Chart chartFor(const Mesh& m)
{
    Chart c;
    c.triIndicesPos = m.tri;
    c.triIndicesUV = m.tri;
    c.uvCoords2D.assign(2 * m.numVertices(), 0.0);
    return c;
}

// Every triangle has the same, non-zero orientation, and every coordinate is finite.
bool flipFree(const Chart& c)
{
    for (double x : c.uvCoords2D)
        if (!std::isfinite(x))
            return false;
    for (size_t t = 0; t < c.numTriangles(); ++t)
        if (!(uvTriangleCross(c, t) * uvTriangleCross(c, 0) > 0.0))
            return false;
    return true;
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
    // A 4 x 4 grid: 9 interior vertices, 2 exempt, 7 planarity constraints (exempting 0 and 999 changes nothing).
    const Mesh g = tiltedPlane(4);
    HalfedgeMesh he;
    ASSERT_FALSE(buildHalfedgeMesh(g.tri, g.numVertices(), he));
    const std::vector<uint32_t> exempt{6, 12, 0, 999};
    const anglesystem::AngleSystem s = anglesystem::buildAngleSystem(g.tri, he, &exempt);
    EXPECT_EQ(std::make_tuple(s.numTriangles, s.numInterior, s.numPlanarity, s.numConstraints()),
              std::make_tuple(size_t(32), size_t(9), size_t(7), size_t(48)));
    EXPECT_EQ(std::make_pair(s.planarityIndex[6], s.planarityIndex[7]), std::make_pair(uint32_t(InvalidIndex), 0u));

    const Mesh cap = meshOf(meshgen::sphericalCap(3, 0.7));
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

TEST(FlattenByAngles, FlatMeshesComeOutCongruentCurvedOnesConvergeBrokenOnesGiveNoNaN)
{
    // A zero-area triangle inside a grid; a closed octahedron (singular Newton system).
    Mesh pinched = meshOf(meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle));
    std::copy(pinched.pos.begin() + 15, pinched.pos.begin() + 18, pinched.pos.begin() + 18);
    Mesh closed;
    closed.pos = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    closed.tri = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    Mesh nan = tiltedPlane(2), extra = nan;
    nan.pos[4] = NaN;
    extra.pos.insert(extra.pos.end(), {9.0, 9.0, 9.0});
    // result 1: flattened; 0: refused, UVs untouched; -1: either, only without NaN.
    struct Case { const char* name; Mesh mesh; int result; bool flat; const char* console; };
    const std::vector<Case> cases = {
        {"tilted plane", tiltedPlane(8), 1, true, nullptr},
        {"spherical cap", meshOf(meshgen::sphericalCap(14, 1.2)), 1, false, nullptr},
        {"saddle", meshOf(meshgen::saddle(14)), 1, false, nullptr},
        {"zero-area triangle", pinched, -1, false, nullptr},
        {"closed", closed, -1, false, nullptr},
        {"not finite", nan, 0, false, "Cannot flatten: the mesh has coordinates that are not finite.\n"},
        {"unused vertex", extra, 0, false, nullptr},
        {"empty", Mesh{}, 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Mesh& m = c.mesh;
        Chart chart = chartFor(m);
        testing::internal::CaptureStdout();
        const FlatteningReport report = runAngleFlattening(chart, m.pos, nullptr);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_LE(report.iterations, 20);
        for (double x : chart.uvCoords2D)
            EXPECT_TRUE(std::isfinite(x));
        if (c.console) {
            EXPECT_EQ(out, c.console);
        }
        if (c.result == 0) {
            EXPECT_FALSE(report.flattened);
            EXPECT_EQ(chart.uvCoords2D, iuv::DoubleVector(2 * m.numVertices(), 0.0));
        }
        if (c.result != 1)
            continue;
        // A flat mesh needs no iteration and keeps every edge up to one scale factor.
        ASSERT_TRUE(report.flattened) << out;
        EXPECT_TRUE(c.flat ? report.iterations == 0 : report.iterations > 0);
        EXPECT_LT(report.largestError, c.flat ? 1e-7 : 1e-6) << out;
        EXPECT_LT(report.finalGradient, 1e-4) << out;
        EXPECT_TRUE(flipFree(chart));
        size_t blocks = 0; // one block of lines per iteration
        for (size_t at = out.find("Gradient magnitude: "); at != std::string::npos; at = out.find("Gradient magnitude: ", at + 1))
            ++blocks;
        EXPECT_EQ(blocks, size_t(report.iterations));
        std::ostringstream done;
        done << "---------------------------------------\nDone after " << report.iterations << " iterations\n";
        EXPECT_NE(out.find(done.str()), std::string::npos) << out;
        if (!c.flat)
            continue;
        const auto d3 = [&](uint32_t a, uint32_t b) {
            return std::hypot(m.pos[3 * a] - m.pos[3 * b], m.pos[3 * a + 1] - m.pos[3 * b + 1], m.pos[3 * a + 2] - m.pos[3 * b + 2]);
        };
        const auto d2 = [&](uint32_t a, uint32_t b) {
            return std::hypot(chart.uvCoords2D[2 * a] - chart.uvCoords2D[2 * b], chart.uvCoords2D[2 * a + 1] - chart.uvCoords2D[2 * b + 1]);
        };
        const uint32_t n = uint32_t(m.numVertices());
        const double scale = d2(n - 1, n - 2) / d3(n - 1, n - 2);
        for (size_t k = 0; k < m.tri.size(); ++k)
            EXPECT_NEAR(d2(m.tri[k], m.tri[nextCorner(k)]), scale * d3(m.tri[k], m.tri[nextCorner(k)]), 1e-9);
    }
}

TEST(FlattenUntexturedChart, RefusalsPiecesUnusedVerticesAndHoles)
{
    const char* const manifoldBox =
        "Cannot process input: a mesh without texture coordinates must be manifold to be flattened.";
    const char* const manifoldLine = "Input without texture coordinates must be manifold.";
    const iuv::DoubleVector octahedronPos{1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    iuv::DoubleVector sevenPoints;
    for (int k = 0; k < 7; ++k)
        sevenPoints.insert(sevenPoints.end(), {std::cos(k * 1.3), std::sin(k * 1.7), 0.1 * k});
    // A cap whose vertex 0 no triangle names: it gets no UV vertex.
    const Mesh cap = meshOf(meshgen::sphericalCap(3, 0.5));
    Mesh unused{cap.tri, {7.0, 7.0, 7.0}};
    for (uint32_t& v : unused.tri)
        ++v;
    unused.pos.insert(unused.pos.end(), cap.pos.begin(), cap.pos.end());
    // A unit grid and, after it, one twice as large: laid side by side, each at its 3D scale.
    const Mesh small = meshOf(meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle));
    Mesh pair = small;
    for (uint32_t v : small.tri)
        pair.tri.push_back(v + uint32_t(small.numVertices()));
    for (size_t k = 0; k < small.pos.size(); ++k)
        pair.pos.push_back(2.0 * small.pos[k] + (k % 3 == 2 ? 5.0 : 0.0));
    // A curved 6 x 6 grid without its four central quads: two boundary loops and an unused centre vertex.
    const Mesh grid = meshOf(meshgen::flatGrid(6, 6, meshgen::Outline::Rectangle));
    Mesh holed{{}, grid.pos};
    for (size_t v = 0; v < grid.numVertices(); ++v)
        holed.pos[3 * v + 2] = 0.3 * (grid.pos[3 * v] * grid.pos[3 * v] + grid.pos[3 * v + 1] * grid.pos[3 * v + 1]);
    for (size_t t = 0; t < grid.numTriangles(); ++t) {
        const uint32_t* v = &grid.tri[3 * t];
        if (std::fabs((v[0] % 7 + v[1] % 7 + v[2] % 7) / 3.0 - 3.0) >= 1.0 ||
            std::fabs((v[0] / 7 + v[1] / 7 + v[2] / 7) / 3.0 - 3.0) >= 1.0)
            holed.tri.insert(holed.tri.end(), v, v + 3);
    }
    ASSERT_EQ(holed.numTriangles(), grid.numTriangles() - 8);
    // box, line: the refusal's texts (empty: the mesh is flattened); console: how the output starts.
    struct Case { const char* what; Mesh mesh; std::string box, line; double uvArea = 0.0; const char* console = ""; };
    const Case cases[] = {
        {"closed octahedron", {{0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5}, octahedronPos},
         "Cannot process input: a mesh without texture coordinates must have a boundary to be flattened.",
         "Input without texture coordinates must have a boundary."},
        {"three triangles on one edge", {{0, 1, 2, 1, 0, 3, 0, 1, 4}, sevenPoints}, manifoldBox, manifoldLine},
        {"two closed fans at one vertex", {{0, 1, 2, 0, 2, 3, 0, 3, 1, 0, 4, 5, 0, 5, 6, 0, 6, 4}, sevenPoints},
         manifoldBox, manifoldLine},
        {"bowtie", {{0, 1, 2, 0, 3, 4}, sevenPoints}, manifoldBox, manifoldLine},
        {"inconsistent orientation", {{0, 1, 2, 2, 0, 3}, sevenPoints},
         "Cannot process input: a mesh without texture coordinates must be consistently oriented to be flattened.",
         "Input without texture coordinates must be consistently oriented."},
        {"repeated vertex", {{0, 1, 2, 2, 1, 1}, sevenPoints}, "Cannot process input: must not have degenerate triangles.",
         "Input must not have degenerate triangles."},
        {"coordinate not a number", {{0, 1, 2}, {0, 0, 0, 1, 0, NaN, 0, 1, 0}},
         "Cannot process input: must have finite vertex coordinates.", "Input must have finite vertex coordinates."},
        {"missing vertex", {{0, 1, 3}, {0, 0, 0, 1, 0, 0, 0, 1, 0}},
         "Cannot process input: a triangle refers to a vertex that does not exist.",
         "Input must only refer to existing vertices."},
        {"no triangles", {{}, sevenPoints}, "Cannot process input: must have triangles.", "Input must have triangles."},
        {"unused vertex", unused, "", "", 0.0, ""},
        {"two pieces", pair, "", "", 5.0, ""},
        {"hole", holed, "", "", 0.0, "The mesh has 2 boundary loops; its flattened layout may overlap itself.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Chart chart;
        chart.triIndicesPos = c.mesh.tri;
        FlatteningRefusal refusal;
        testing::internal::CaptureStdout();
        const bool accepted = flattenUntexturedChart(chart, c.mesh.pos, refusal);
        const std::string console = testing::internal::GetCapturedStdout();
        const bool refused = !c.box.empty();
        ASSERT_EQ(accepted, !refused) << refusal.boxText;
        EXPECT_EQ(refusal.boxText, c.box);
        EXPECT_EQ(refusal.consoleLine, c.line);
        if (refused) {
            EXPECT_EQ(console, ""); // the caller prints the refusal
            EXPECT_TRUE(chart.triIndicesUV.empty());
            continue;
        }
        EXPECT_EQ(console.rfind(c.console, 0), 0u) << console;
        EXPECT_TRUE(flipFree(chart));
        // UV vertices are the used 3D vertices in their order.
        std::vector<uint32_t> uvOf(c.mesh.numVertices(), 0);
        for (uint32_t v : c.mesh.tri)
            uvOf[v] = 1;
        uint32_t used = 0;
        for (uint32_t& k : uvOf)
            k = (used += k) - 1;
        EXPECT_EQ(chart.uvCoords2D.size(), 2 * size_t(used));
        for (size_t k = 0; k < c.mesh.tri.size(); ++k)
            EXPECT_EQ(chart.triIndicesUV[k], uvOf[c.mesh.tri[k]]);
        const testsupport::UVCoverage uv = testsupport::uvCoverage(chart.uvCoords2D, chart.triIndicesUV);
        EXPECT_LT(uv.overlapArea, 1e-9 * uv.summedArea);
        if (c.uvArea > 0.0) {
            EXPECT_NEAR(uv.summedArea, c.uvArea, 1e-9);
        }
    }
}
