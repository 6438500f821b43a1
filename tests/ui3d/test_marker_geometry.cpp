#include "render/MarkerGeometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace {

std::array<double, 3> vertex(const TriangleGeometry& g, size_t i)
{
    return {g.vertices[3 * i], g.vertices[3 * i + 1], g.vertices[3 * i + 2]};
}

double distance(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

double dot(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

std::array<double, 3> minus(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

} // namespace

TEST(MarkerIcosahedron, UnitVerticesAndClosedRegularSurface)
{
    TriangleGeometry g;
    appendIcosahedron(g, 0.0, 0.0, 0.0, 1.0);
    ASSERT_EQ(g.vertexCount(), 12u);
    ASSERT_EQ(g.triangleCount(), 20u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_NEAR(distance(vertex(g, i), {0, 0, 0}), 1.0, 1e-12) << i;
    EXPECT_NEAR(vertex(g, 0)[2], -1.0, 1e-12);
    EXPECT_NEAR(vertex(g, 11)[2], 1.0, 1e-12);

    // Every edge is shared by exactly two triangles (a closed surface) and
    // every edge has the same length.
    std::map<std::pair<uint32_t, uint32_t>, int> edgeUse;
    const double edge = distance(vertex(g, 0), vertex(g, 1));
    for (size_t t = 0; t < 20; ++t)
        for (int k = 0; k < 3; ++k) {
            uint32_t a = g.indices[3 * t + k], b = g.indices[3 * t + (k + 1) % 3];
            EXPECT_NEAR(distance(vertex(g, a), vertex(g, b)), edge, 1e-12);
            ++edgeUse[{std::min(a, b), std::max(a, b)}];
        }
    EXPECT_EQ(edgeUse.size(), 30u);
    for (const auto& e : edgeUse)
        EXPECT_EQ(e.second, 2);
}

TEST(ConeMarkers, ThreeConesGiveThirtySixVerticesAndSixtyTriangles)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 0, 2, 0, 5, 5, 5};
    const TriangleGeometry g = buildConeMarkers(iuv::UIntVector{3, 0, 2}, positions, 0.5);
    ASSERT_EQ(g.vertexCount(), 36u);
    ASSERT_EQ(g.triangleCount(), 60u);
    // Marker k uses vertices 12k .. 12k+11 and is centred on its cone vertex.
    const std::array<std::array<double, 3>, 3> centres{{{5, 5, 5}, {0, 0, 0}, {0, 2, 0}}};
    for (size_t k = 0; k < 3; ++k) {
        for (size_t i = 0; i < 12; ++i)
            EXPECT_NEAR(distance(vertex(g, 12 * k + i), centres[k]), 0.5, 1e-12);
        for (size_t j = 0; j < 60; ++j) {
            EXPECT_GE(g.indices[60 * k + j], 12 * k);
            EXPECT_LT(g.indices[60 * k + j], 12 * (k + 1));
        }
    }
}

TEST(ConeMarkers, BadInputIsSkippedNotRead)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1};
    EXPECT_EQ(buildConeMarkers(iuv::UIntVector{}, positions, 1.0).vertexCount(), 0u);
    EXPECT_EQ(buildConeMarkers(iuv::UIntVector{0}, iuv::DoubleVector{}, 1.0).vertexCount(), 0u);
    const TriangleGeometry g = buildConeMarkers(iuv::UIntVector{7, 1, 4294967295u}, positions, 1.0);
    EXPECT_EQ(g.vertexCount(), 12u);
    EXPECT_EQ(g.indices[0], 0u);
}

TEST(EdgeTubes, OnePairGivesThirtyTwoVerticesAndFortyEightTriangles)
{
    const iuv::DoubleVector positions{1, 2, 3, 1, 2, 7};
    const double r = 0.25;
    const TriangleGeometry g = buildEdgeTubes(iuv::UIntVector{0, 1}, positions, r);
    ASSERT_EQ(g.vertexCount(), 32u);
    ASSERT_EQ(g.triangleCount(), 48u);

    const std::array<double, 3> p{1, 2, 3}, q{1, 2, 7}, d{0, 0, 1};
    // The ring vertices: p + e1, p + e2, p - e1, p - e2, then the same at q.
    const auto e1 = minus(vertex(g, 0), p);
    const auto e2 = minus(vertex(g, 1), p);
    EXPECT_NEAR(distance(e1, {0, 0, 0}), r, 1e-12);
    EXPECT_NEAR(distance(e2, {0, 0, 0}), r, 1e-12);
    EXPECT_NEAR(dot(e1, d), 0.0, 1e-12);
    EXPECT_NEAR(dot(e2, d), 0.0, 1e-12);
    EXPECT_NEAR(dot(e1, e2), 0.0, 1e-12);
    EXPECT_NEAR(distance(minus(vertex(g, 2), p), {-e1[0], -e1[1], -e1[2]}), 0.0, 1e-12);
    EXPECT_NEAR(distance(minus(vertex(g, 3), p), {-e2[0], -e2[1], -e2[2]}), 0.0, 1e-12);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(distance(minus(vertex(g, 4 + i), q), minus(vertex(g, i), p)), 0.0, 1e-12);

    // Side k: (k, k+4, k'+4) and (k', k, k'+4).
    const uint32_t expected[24] = {0, 4, 5, 1, 0, 5, 1, 5, 6, 2, 1, 6, 2, 6, 7, 3, 2, 7, 3, 7, 4, 0, 3, 4};
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(g.indices[i], expected[i]) << i;

    // End caps: icosahedra of radius r at p (vertices 8..19) and q (20..31).
    for (size_t i = 8; i < 20; ++i)
        EXPECT_NEAR(distance(vertex(g, i), p), r, 1e-12);
    for (size_t i = 20; i < 32; ++i)
        EXPECT_NEAR(distance(vertex(g, i), q), r, 1e-12);
    for (size_t j = 24; j < 84; ++j)
        EXPECT_TRUE(g.indices[j] >= 8 && g.indices[j] < 20);
    for (size_t j = 84; j < 144; ++j)
        EXPECT_TRUE(g.indices[j] >= 20 && g.indices[j] < 32);
}

TEST(EdgeTubes, ObliqueAndDegenerateEdgesStayFiniteAndPerpendicular)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 3, -2, 0.5};
    const TriangleGeometry g = buildEdgeTubes(iuv::UIntVector{0, 1, 1, 2, 2, 2, 0}, positions, 0.1);
    ASSERT_EQ(g.vertexCount(), 96u);  // three tubes; the trailing entry is ignored
    ASSERT_EQ(g.triangleCount(), 144u);
    for (double v : g.vertices)
        EXPECT_TRUE(std::isfinite(v));
    for (uint32_t index : g.indices)
        EXPECT_LT(index, 96u);
    // Second tube (from vertex 1 to 2) starts at vertex 32.
    const std::array<double, 3> p{1, 1, 1}, q{3, -2, 0.5};
    const auto d = minus(q, p);
    EXPECT_NEAR(dot(minus(vertex(g, 32), p), d), 0.0, 1e-12);
    EXPECT_NEAR(dot(minus(vertex(g, 33), p), d), 0.0, 1e-12);
    EXPECT_EQ(g.indices[48 * 3], 32u);
}

TEST(EdgeTubes, PairsOutsideThePositionsAreSkipped)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 0, 0};
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{0, 2, 5, 1}, positions, 0.1).vertexCount(), 0u);
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{}, positions, 0.1).vertexCount(), 0u);
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{0, 1}, iuv::DoubleVector{}, 0.1).vertexCount(), 0u);
}

TEST(EdgeTubes, RadiusIsAFractionOfTheBoxDiagonalIgnoringNonFinitePoints)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const iuv::DoubleVector positions{0, 0, 0, 3, 4, 0, nan, 1e300, 0, 0, 0, 12};
    EXPECT_NEAR(edgeTubeRadius(positions), 0.003 * 13.0, 1e-12);
    EXPECT_EQ(edgeTubeRadius(iuv::DoubleVector{}), 0.0);
    EXPECT_FALSE(boundingBox(iuv::DoubleVector{nan, 0, 0}).valid);
}
