#include "render/MarkerGeometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>

namespace {

using Vec = std::array<double, 3>;

Vec vertex(const TriangleGeometry& g, size_t i) { return {g.vertices[3 * i], g.vertices[3 * i + 1], g.vertices[3 * i + 2]}; }
Vec point(const iuv::DoubleVector& p, size_t i) { return {p[3 * i], p[3 * i + 1], p[3 * i + 2]}; }
Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double distance(const Vec& a, const Vec& b) { return std::sqrt(dot(minus(a, b), minus(a, b))); }

} // namespace

TEST(MarkerGeometry, IcosahedraAreClosedRegularAndCentredOnTheirCones)
{
    TriangleGeometry g;
    appendIcosahedron(g, 0.0, 0.0, 0.0, 1.0);
    ASSERT_EQ(g.triangleCount(), 20u);
    // Every edge has one length and is shared by exactly two triangles.
    std::map<std::pair<uint32_t, uint32_t>, int> edgeUse;
    const double edge = distance(vertex(g, 0), vertex(g, 1));
    for (size_t t = 0; t < 20; ++t)
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = g.indices[3 * t + k], b = g.indices[3 * t + (k + 1) % 3];
            EXPECT_NEAR(distance(vertex(g, a), vertex(g, b)), edge, 1e-12);
            ++edgeUse[std::minmax(a, b)];
        }
    EXPECT_EQ(edgeUse.size(), 30u);
    for (const auto& e : edgeUse)
        EXPECT_EQ(e.second, 2);

    // Cones name vertices; those outside the positions are skipped, not read.
    const iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 0, 2, 0, 5, 5, 5};
    const TriangleGeometry cones = buildConeMarkers(iuv::UIntVector{3, 0, 7, 2, 4294967295u}, positions, 0.5);
    ASSERT_EQ(cones.triangleCount(), 60u);
    const std::array<Vec, 3> centres{{{5, 5, 5}, {0, 0, 0}, {0, 2, 0}}};
    for (size_t k = 0; k < 3; ++k) {
        for (size_t i = 0; i < 12; ++i)
            EXPECT_NEAR(distance(vertex(cones, 12 * k + i), centres[k]), 0.5, 1e-12);
        for (size_t j = 0; j < 60; ++j)
            EXPECT_TRUE(cones.indices[60 * k + j] >= 12 * k && cones.indices[60 * k + j] < 12 * (k + 1));
    }
    EXPECT_EQ(buildConeMarkers(iuv::UIntVector{0}, iuv::DoubleVector{}, 1.0).vertexCount(), 0u);
}

TEST(MarkerGeometry, TubesAreRingsPerpendicularToTheirEdgesWithCaps)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 3, -2, 0.5, 1, 2, 7};
    const double r = 0.1;
    // Three tubes; the trailing entry and pairs naming absent vertices are ignored.
    const TriangleGeometry g = buildEdgeTubes(iuv::UIntVector{0, 1, 1, 2, 0, 9, 2, 3, 2}, positions, r);
    ASSERT_EQ(g.vertexCount(), 96u);
    ASSERT_EQ(g.triangleCount(), 144u);
    for (uint32_t index : g.indices)
        ASSERT_LT(index, 96u);
    const std::vector<std::pair<uint32_t, uint32_t>> edges{{0, 1}, {1, 2}, {2, 3}};
    for (size_t e = 0; e < 3; ++e) {
        const Vec p = point(positions, edges[e].first), q = point(positions, edges[e].second);
        const Vec d = minus(q, p);
        // Ring at p: p + e1, p + e2, p - e1, p - e2, the same at q, then caps of radius r.
        const size_t base = 32 * e;
        const Vec e1 = minus(vertex(g, base), p), e2 = minus(vertex(g, base + 1), p);
        EXPECT_NEAR(std::sqrt(dot(e1, e1)), r, 1e-12);
        EXPECT_NEAR(std::sqrt(dot(e2, e2)), r, 1e-12);
        EXPECT_NEAR(dot(e1, d), 0.0, 1e-12);
        EXPECT_NEAR(dot(e2, d), 0.0, 1e-12);
        EXPECT_NEAR(dot(e1, e2), 0.0, 1e-12);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(distance(minus(vertex(g, base + 4 + i), q), minus(vertex(g, base + i), p)), 0.0, 1e-12);
        for (size_t i = 8; i < 20; ++i) {
            EXPECT_NEAR(distance(vertex(g, base + i), p), r, 1e-12);
            EXPECT_NEAR(distance(vertex(g, base + 12 + i), q), r, 1e-12);
        }
    }
    for (double v : g.vertices)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{0, 1}, iuv::DoubleVector{}, 0.1).vertexCount(), 0u);

    // The radius is a fraction of the box diagonal, ignoring non-finite points.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NEAR(edgeTubeRadius(iuv::DoubleVector{0, 0, 0, 3, 4, 0, nan, 1e300, 0, 0, 0, 12}), 0.003 * 13.0, 1e-12);
    EXPECT_EQ(edgeTubeRadius(iuv::DoubleVector{}), 0.0);
    EXPECT_FALSE(boundingBox(iuv::DoubleVector{nan, 0, 0}).valid);
}
