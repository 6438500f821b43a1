// The CPU-side geometry of the 3D drawings: corner records of the mesh and
// the triangles of the cone markers and edge tubes.
#include "io/palette.h"
#include "render/MarkerGeometry.h"
#include "render/MeshCornerBuffers.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>

namespace {

using Vec = std::array<double, 3>;

Vec at(const std::vector<double>& v, size_t i) { return {v[3 * i], v[3 * i + 1], v[3 * i + 2]}; }
Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double distance(const Vec& a, const Vec& b) { return std::sqrt(dot(minus(a, b), minus(a, b))); }

std::vector<float> fields(const std::vector<float>& buffer, size_t corner, size_t first, size_t count)
{
    return std::vector<float>(buffer.begin() + corner * kCornerFloats + first, buffer.begin() + corner * kCornerFloats + first + count);
}
std::vector<float> colour(size_t chart)
{
    const Rgb8 c = chartColor(chart);
    return {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f};
}

} // namespace

TEST(CornerBuffers, NormalsUVsAndChartColoursOfEveryCorner)
{
    // Two triangles on the edge (0,0,0)-(0,2,0): area 2 in z = 0, area 1 in x = 0.
    const iuv::DoubleVector positions{0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, -1, 0, 1, 0};
    const iuv::DoubleVector uvs{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    const CornerBuffers b = buildCornerBuffers({0, 1, 2, 0, 2, 3}, positions, {2, 0, 1, 3, 1, 4}, uvs, {1, 1});
    ASSERT_EQ(b.cornerCount(), 6u);
    EXPECT_EQ(fields(b.flat, 1, 0, 8), (std::vector<float>{2, 0, 0, 0, 0, 1, 0.1f, 0.2f})); // position, normal, uv
    EXPECT_EQ(fields(b.flat, 4, 3, 3), (std::vector<float>{-1, 0, 0}));
    // The shared vertex: the area-weighted (2 * (0,0,1) + 1 * (-1,0,0)) / 3, not renormalised.
    EXPECT_EQ(fields(b.smooth, 3, 3, 3), (std::vector<float>{-1.0f / 3, 0, 2.0f / 3}));
    EXPECT_EQ(fields(b.smooth, 1, 3, 3), (std::vector<float>{0, 0, 1}));
    for (size_t c = 0; c < 6; ++c)
        EXPECT_EQ(fields(b.smooth, c, 8, 4), colour(c / 3));
    // Chart counts with an empty chart and too few for all triangles; chart 33 is drawn like chart 1.
    const iuv::DoubleVector tri{0, 0, 0, 1, 0, 0, 0, 1, 0};
    const iuv::UIntVector five{0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2};
    const CornerBuffers counted = buildCornerBuffers(five, tri, five, {0, 0, 1, 0, 0, 1}, {0, 2, 1});
    const size_t chartOf[5] = {1, 1, 2, 3, 3};
    for (size_t t = 0; t < 5; ++t)
        EXPECT_EQ(fields(counted.flat, 3 * t, 8, 4), colour(chartOf[t])) << t;
    EXPECT_EQ(fields(buildCornerBuffers({0, 1, 2}, tri, {0, 1, 2}, {0, 0, 1, 0, 0, 1}, std::vector<size_t>(33, 0)).flat, 0, 8, 4), colour(1));

    // A zero-area triangle, one naming an absent vertex, one with a NaN corner; UVs missing.
    const CornerBuffers bad = buildCornerBuffers({0, 1, 2, 0, 9, 1, 0, 1, 3}, {0, 0, 0, 1, 1, 1, 2, 2, 2, std::nan(""), 0, 0}, {0, 1}, {}, {3});
    ASSERT_EQ(bad.cornerCount(), 6u);
    for (size_t c = 0; c < 6; ++c)
        for (const auto* buffer : {&bad.flat, &bad.smooth})
            for (float f : fields(*buffer, c, 3, kCornerFloats - 3))
                EXPECT_TRUE(std::isfinite(f)) << c;
    EXPECT_EQ(buildCornerBuffers({0, 1, 2}, {}, {}, {}, {}).cornerCount(), 0u);
}

TEST(MarkerGeometry, ConesAreClosedRegularIcosahedraAndTubesRingsAroundTheirEdges)
{
    // Cones name vertices; those outside the positions are skipped.
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 3, -2, 0.5, 1, 2, 7};
    const TriangleGeometry cones = buildConeMarkers(iuv::UIntVector{3, 0, 7, 2, 4294967295u}, positions, 0.5);
    ASSERT_EQ(cones.triangleCount(), 60u);
    std::map<std::pair<uint32_t, uint32_t>, int> edgeUse;
    for (size_t t = 0; t < 60; ++t)
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = cones.indices[3 * t + k], b = cones.indices[3 * t + (k + 1) % 3];
            EXPECT_EQ(a / 12, t / 20); // each marker uses its own 12 vertices
            EXPECT_NEAR(distance(at(cones.vertices, a), at(cones.vertices, b)), 0.5 / std::sin(0.4 * M_PI), 1e-12);
            ++edgeUse[std::minmax(a, b)];
        }
    EXPECT_EQ(edgeUse.size(), 90u);
    for (const auto& e : edgeUse)
        EXPECT_EQ(e.second, 2) << "open edge";
    for (size_t i = 0; i < 36; ++i)
        EXPECT_NEAR(distance(at(cones.vertices, i), at(positions, std::array<size_t, 3>{3, 0, 2}[i / 12])), 0.5, 1e-12);

    // Three tubes of 32 vertices: rings at both ends, then caps; the trailing
    // entry and the pair naming an absent vertex are ignored.
    const double r = 0.1;
    const TriangleGeometry g = buildEdgeTubes(iuv::UIntVector{0, 1, 1, 2, 0, 9, 2, 3, 2}, positions, r);
    ASSERT_EQ(g.vertexCount(), 96u);
    ASSERT_EQ(g.triangleCount(), 144u);
    for (size_t e = 0; e < 3; ++e) {
        const Vec p = at(positions, e), q = at(positions, e + 1), d = minus(q, p);
        const Vec e1 = minus(at(g.vertices, 32 * e), p), e2 = minus(at(g.vertices, 32 * e + 1), p);
        EXPECT_NEAR(dot(e1, e1), r * r, 1e-12);
        EXPECT_NEAR(dot(e2, e2), r * r, 1e-12);
        EXPECT_NEAR(std::abs(dot(e1, d)) + std::abs(dot(e2, d)) + std::abs(dot(e1, e2)), 0.0, 1e-12);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(distance(minus(at(g.vertices, 32 * e + 4 + i), q), minus(at(g.vertices, 32 * e + i), p)), 0.0, 1e-12);
        for (size_t i = 8; i < 20; ++i)
            EXPECT_NEAR(distance(at(g.vertices, 32 * e + i), p) + distance(at(g.vertices, 32 * e + 12 + i), q), 2 * r, 1e-12);
    }
    for (uint32_t index : g.indices)
        EXPECT_LT(index, 96u);
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{0, 1}, iuv::DoubleVector{}, 0.1).vertexCount(), 0u);
    // The radius is a fraction of the box diagonal, ignoring non-finite points.
    EXPECT_NEAR(edgeTubeRadius(iuv::DoubleVector{0, 0, 0, 3, 4, 0, std::nan(""), 1e300, 0, 0, 0, 12}), 0.003 * 13.0, 1e-12);
    EXPECT_EQ(edgeTubeRadius(iuv::DoubleVector{}), 0.0);
}
