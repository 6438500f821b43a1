#include "flatten/flattening.h"
#include "flatten/flattening_meshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using flatmesh::Mesh;

struct Outcome {
    bool accepted;
    FlatteningRefusal refusal;
    std::string console;
};

Outcome flatten(Chart& chart, const iuv::DoubleVector& pos)
{
    Outcome o;
    testing::internal::CaptureStdout();
    o.accepted = flattenUntexturedChart(chart, pos, o.refusal);
    o.console = testing::internal::GetCapturedStdout();
    return o;
}

Chart untextured(const iuv::UIntVector& tri)
{
    Chart c;
    c.triIndicesPos = tri;
    return c;
}

double signedArea(const Chart& c, size_t t) { return 0.5 * uvTriangleCross(c, t); }

// Accepted, finite, and every triangle oriented like the first.
void expectFlipFreeLayout(const Chart& c)
{
    ASSERT_EQ(c.triIndicesUV.size(), c.triIndicesPos.size());
    for (double x : c.uvCoords2D)
        ASSERT_TRUE(std::isfinite(x));
    const double s0 = signedArea(c, 0);
    for (size_t t = 0; t < c.numTriangles(); ++t)
        EXPECT_GT(signedArea(c, t) * s0, 0.0) << t;
}

Mesh flatGrid(int n)
{
    return flatmesh::grid(n, [](double x, double y, double* p) { p[0] = x; p[1] = y; p[2] = 0.0; });
}

} // namespace

TEST(FlattenUntexturedChart, RefusesMeshesThatCannotBeFlattened)
{
    const char* const manifoldBox =
        "Cannot process input: a mesh without texture coordinates must be manifold to be flattened.";
    const char* const manifoldLine = "Input without texture coordinates must be manifold.";
    const iuv::DoubleVector octahedronPos{1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    iuv::DoubleVector sevenPoints;
    for (int k = 0; k < 7; ++k)
        sevenPoints.insert(sevenPoints.end(), {std::cos(k * 1.3), std::sin(k * 1.7), 0.1 * k});
    const double nan = std::numeric_limits<double>::quiet_NaN();

    struct Case {
        const char* what;
        iuv::UIntVector tri;
        iuv::DoubleVector pos;
        std::string box;
        std::string line;
    };
    const Case cases[] = {
        {"closed octahedron",
         {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5},
         octahedronPos,
         "Cannot process input: a mesh without texture coordinates must have a boundary to be flattened.",
         "Input without texture coordinates must have a boundary."},
        {"three triangles on one edge", {0, 1, 2, 1, 0, 3, 0, 1, 4}, sevenPoints, manifoldBox, manifoldLine},
        {"two closed fans at one vertex",
         {0, 1, 2, 0, 2, 3, 0, 3, 1, 0, 4, 5, 0, 5, 6, 0, 6, 4},
         sevenPoints, manifoldBox, manifoldLine},
        {"bowtie", {0, 1, 2, 0, 3, 4}, sevenPoints, manifoldBox, manifoldLine},
        {"inconsistent orientation",
         {0, 1, 2, 2, 0, 3},
         sevenPoints,
         "Cannot process input: a mesh without texture coordinates must be consistently oriented to be flattened.",
         "Input without texture coordinates must be consistently oriented."},
        {"repeated vertex", {0, 1, 2, 2, 1, 1}, sevenPoints,
         "Cannot process input: must not have degenerate triangles.", "Input must not have degenerate triangles."},
        {"coordinate not a number", {0, 1, 2}, {0, 0, 0, 1, 0, nan, 0, 1, 0},
         "Cannot process input: must have finite vertex coordinates.", "Input must have finite vertex coordinates."},
        {"missing vertex", {0, 1, 3}, {0, 0, 0, 1, 0, 0, 0, 1, 0},
         "Cannot process input: a triangle refers to a vertex that does not exist.",
         "Input must only refer to existing vertices."},
        {"no triangles", {}, sevenPoints, "Cannot process input: must have triangles.", "Input must have triangles."},
    };
    for (const Case& c : cases) {
        Chart chart = untextured(c.tri);
        const Outcome o = flatten(chart, c.pos);
        EXPECT_FALSE(o.accepted) << c.what;
        EXPECT_EQ(o.refusal.boxText, c.box) << c.what;
        EXPECT_EQ(o.refusal.consoleLine, c.line) << c.what;
        EXPECT_EQ(o.console, "") << c.what; // the caller prints the refusal
        EXPECT_TRUE(chart.triIndicesUV.empty()) << c.what;
    }
}

TEST(FlattenUntexturedChart, UnusedVerticesGetNoUVVertex)
{
    // An extra vertex that no triangle names is inserted as vertex 0.
    const Mesh g = flatmesh::sphericalCap(3, 0.5);
    iuv::UIntVector tri = g.tri;
    for (uint32_t& v : tri)
        ++v;
    iuv::DoubleVector pos{7.0, 7.0, 7.0};
    pos.insert(pos.end(), g.pos.begin(), g.pos.end());
    Chart chart = untextured(tri);
    const Outcome o = flatten(chart, pos);
    ASSERT_TRUE(o.accepted) << o.refusal.boxText;
    EXPECT_EQ(chart.uvCoords2D.size(), 2 * g.numVertices());
    EXPECT_EQ(chart.triIndicesUV, g.tri);
    EXPECT_EQ(chart.triIndicesPos, tri);
    expectFlipFreeLayout(chart);
}

TEST(FlattenUntexturedChart, SeparatePiecesAreFlattenedAtTheirScaleSideBySide)
{
    // A small flat grid and, after it, one twice as large.
    const Mesh small = flatGrid(3);
    iuv::UIntVector tri = small.tri;
    iuv::DoubleVector pos = small.pos;
    const uint32_t offset = static_cast<uint32_t>(small.numVertices());
    for (uint32_t v : small.tri)
        tri.push_back(v + offset);
    for (size_t k = 0; k < small.pos.size(); ++k)
        pos.push_back(2.0 * small.pos[k] + (k % 3 == 2 ? 5.0 : 0.0));

    Chart chart = untextured(tri);
    const Outcome o = flatten(chart, pos);
    ASSERT_TRUE(o.accepted) << o.refusal.boxText;
    EXPECT_EQ(chart.triIndicesUV, chart.triIndicesPos);
    expectFlipFreeLayout(chart);

    const size_t half = small.numTriangles();
    double area[2] = {0.0, 0.0};
    double maxU0 = -1e300, minU1 = 1e300;
    for (size_t t = 0; t < chart.numTriangles(); ++t) {
        area[t >= half] += std::fabs(signedArea(chart, t));
        for (size_t k = 0; k < 3; ++k) {
            const double u = chart.uvCoords2D[2 * chart.triIndicesUV[3 * t + k]];
            if (t < half)
                maxU0 = std::max(maxU0, u);
            else
                minU1 = std::min(minU1, u);
        }
    }
    EXPECT_NEAR(area[0], 4.0, 1e-9);  // the 3D area of [-1,1]^2
    EXPECT_NEAR(area[1], 16.0, 1e-9);
    EXPECT_LT(maxU0, minU1); // no overlap between the pieces
}

TEST(FlattenUntexturedChart, MeshWithAHoleIsFlattenedWithAWarning)
{
    // A curved 6 x 6 grid without its four central quads: two boundary loops
    // and an unused centre vertex.
    const Mesh cap = flatmesh::sphericalCap(6, 0.9);
    iuv::UIntVector tri;
    for (size_t t = 0; t < cap.numTriangles(); ++t) {
        double cx = 0.0, cy = 0.0;
        for (size_t k = 0; k < 3; ++k) {
            const uint32_t v = cap.tri[3 * t + k];
            cx += (v % 7) / 3.0;
            cy += (v / 7) / 3.0;
        }
        if (std::fabs(cx - 3.0) < 1.0 && std::fabs(cy - 3.0) < 1.0)
            continue;
        tri.insert(tri.end(), cap.tri.begin() + 3 * t, cap.tri.begin() + 3 * t + 3);
    }
    ASSERT_EQ(tri.size() / 3, cap.numTriangles() - 8);
    Chart chart = untextured(tri);
    const Outcome o = flatten(chart, cap.pos);
    ASSERT_TRUE(o.accepted) << o.refusal.boxText;
    EXPECT_EQ(o.console.rfind("The mesh has 2 boundary loops; its flattened layout may overlap itself.\n", 0), 0u)
        << o.console;
    EXPECT_EQ(chart.uvCoords2D.size(), 2 * (cap.numVertices() - 1));
    for (double x : chart.uvCoords2D)
        EXPECT_TRUE(std::isfinite(x));
}
