// The CPU-side geometry of the 3D drawings: corner records of the mesh and
// the triangles of the cone markers and edge tubes, from good and bad input.
#include "io/palette.h"
#include "render/MarkerGeometry.h"
#include "render/MeshCornerBuffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

std::vector<float> fields(const std::vector<float>& buffer, size_t corner, size_t first, size_t count)
{
    return std::vector<float>(buffer.begin() + corner * kCornerFloats + first, buffer.begin() + corner * kCornerFloats + first + count);
}

} // namespace

TEST(CornerBuffers, AreaWeightedNormalsChartColoursAndBadTrianglesSkipped)
{
    // Two triangles on the edge (0,0,0)-(0,2,0): area 2 in z = 0, area 1 in x = 0.
    const iuv::DoubleVector positions{0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, -1, 0, 1, 0};
    const iuv::DoubleVector uvs{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    const CornerBuffers b = buildCornerBuffers({0, 1, 2, 0, 2, 3}, positions, {2, 0, 1, 3, 1, 4}, uvs, {1, 1});
    ASSERT_EQ(b.cornerCount(), 6u);
    EXPECT_EQ(fields(b.flat, 1, 0, 8), (std::vector<float>{2, 0, 0, 0, 0, 1, 0.1f, 0.2f})); // position, normal, uv
    // The shared vertex: the area-weighted (2 * (0,0,1) + 1 * (-1,0,0)) / 3, not renormalised.
    EXPECT_EQ(fields(b.smooth, 3, 3, 3), (std::vector<float>{-1.0f / 3, 0, 2.0f / 3}));
    const Rgb8 c = chartColor(1);
    EXPECT_EQ(fields(b.smooth, 5, 8, 4), (std::vector<float>{c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f}));
    // A zero-area triangle, one naming an absent vertex, one with a NaN corner; UVs and chart counts missing.
    const CornerBuffers bad = buildCornerBuffers({0, 1, 2, 0, 9, 1, 0, 1, 3}, {0, 0, 0, 1, 1, 1, 2, 2, 2, std::nan(""), 0, 0}, {0, 1}, {}, {});
    ASSERT_EQ(bad.cornerCount(), 6u);
    for (size_t corner = 0; corner < 6; ++corner)
        for (const auto* buffer : {&bad.flat, &bad.smooth})
            for (float f : fields(*buffer, corner, 3, kCornerFloats - 3))
                EXPECT_TRUE(std::isfinite(f)) << corner;
    EXPECT_EQ(buildCornerBuffers({0, 1, 2}, {}, {}, {}, {}).cornerCount(), 0u);
}

TEST(MarkerGeometry, ClosedConeMarkersAndTubesOnlyForVerticesThatExist)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 3, -2, 0.5, 1, 2, 7};
    const TriangleGeometry cones = buildConeMarkers(iuv::UIntVector{3, 0, 7, 2, 4294967295u}, positions, 0.5);
    ASSERT_EQ(cones.triangleCount(), 60u); // three icosahedra
    std::map<std::pair<uint32_t, uint32_t>, int> edgeUse;
    for (size_t t = 0; t < 60; ++t)
        for (int k = 0; k < 3; ++k)
            ++edgeUse[std::minmax(cones.indices[3 * t + k], cones.indices[3 * t + (k + 1) % 3])];
    EXPECT_EQ(edgeUse.size(), 90u);
    for (const auto& e : edgeUse)
        EXPECT_EQ(e.second, 2) << "open edge";
    // Three tubes of 32 vertices whose first ring lies at the radius around the edge's start;
    // the trailing entry and the pair naming an absent vertex are ignored.
    const TriangleGeometry g = buildEdgeTubes(iuv::UIntVector{0, 1, 1, 2, 0, 9, 2, 3, 2}, positions, 0.1);
    ASSERT_EQ(g.vertexCount(), 96u);
    for (size_t e = 0; e < 3; ++e)
        for (size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(std::hypot(g.vertices[3 * (32 * e + i)] - positions[3 * e], g.vertices[3 * (32 * e + i) + 1] - positions[3 * e + 1],
                                   g.vertices[3 * (32 * e + i) + 2] - positions[3 * e + 2]), 0.1, 1e-12);
    for (uint32_t index : g.indices)
        EXPECT_LT(index, 96u);
    EXPECT_EQ(buildEdgeTubes(iuv::UIntVector{0, 1}, iuv::DoubleVector{}, 0.1).vertexCount(), 0u);
    // The radius is a fraction of the box diagonal, ignoring non-finite points.
    EXPECT_NEAR(edgeTubeRadius(iuv::DoubleVector{0, 0, 0, 3, 4, 0, std::nan(""), 1e300, 0, 0, 0, 12}), 0.003 * 13.0, 1e-12);
    EXPECT_EQ(edgeTubeRadius(iuv::DoubleVector{}), 0.0);
}
