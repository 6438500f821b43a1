#include "render/MeshCornerBuffers.h"

#include "io/palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const float* corner(const std::vector<float>& buffer, size_t c)
{
    return buffer.data() + c * kCornerFloats;
}

void expectColour(const float* record, size_t chart)
{
    const Rgb8 colour = chartColor(chart);
    EXPECT_FLOAT_EQ(record[8], colour.r / 255.0f);
    EXPECT_FLOAT_EQ(record[9], colour.g / 255.0f);
    EXPECT_FLOAT_EQ(record[10], colour.b / 255.0f);
    EXPECT_FLOAT_EQ(record[11], 1.0f);
}

} // namespace

// Two triangles meeting at the edge (0,1)-(0,2): one in the z = 0 plane with
// area 2, one in the x = 0 plane with area 1.
TEST(CornerBuffers, FaceNormalsAreaWeightedVertexNormalsUVsAndChartColours)
{
    const iuv::DoubleVector positions{0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, -1, 0, 1, 0};
    const iuv::UIntVector tris{0, 1, 2, 0, 2, 3};
    const iuv::UIntVector uvIdx{2, 0, 1, 3, 1, 4};
    const iuv::DoubleVector uvs{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    const CornerBuffers b = buildCornerBuffers(tris, positions, uvIdx, uvs, {1, 1});
    ASSERT_EQ(b.flat.size(), 6 * kCornerFloats);
    ASSERT_EQ(b.smooth.size(), 6 * kCornerFloats);
    EXPECT_EQ(b.cornerCount(), 6u);

    // Corner 1 of triangle 0: vertex 1 at (2,0,0), UV vertex 0.
    const float* c1 = corner(b.flat, 1);
    EXPECT_FLOAT_EQ(c1[0], 2.0f);
    EXPECT_FLOAT_EQ(c1[1], 0.0f);
    EXPECT_FLOAT_EQ(c1[2], 0.0f);
    EXPECT_FLOAT_EQ(c1[6], 0.1f);
    EXPECT_FLOAT_EQ(c1[7], 0.2f);
    // Face normals: (0,0,1) and (-1,0,0) ((p2-p0) x (p3-p0) = (0,2,0) x (0,0,-1)).
    for (size_t c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(corner(b.flat, c)[5], 1.0f);
        EXPECT_FLOAT_EQ(corner(b.flat, 3 + c)[3], -1.0f);
    }
    expectColour(corner(b.flat, 0), 0);
    expectColour(corner(b.smooth, 2), 0);
    expectColour(corner(b.flat, 3), 1);
    expectColour(corner(b.smooth, 5), 1);

    // Vertex 0 is shared: (2*(0,0,1) + 1*(-1,0,0)) / 3, not renormalised.
    const float* s0 = corner(b.smooth, 0);
    EXPECT_FLOAT_EQ(s0[3], -1.0f / 3.0f);
    EXPECT_FLOAT_EQ(s0[4], 0.0f);
    EXPECT_FLOAT_EQ(s0[5], 2.0f / 3.0f);
    EXPECT_EQ(std::memcmp(corner(b.smooth, 0), corner(b.smooth, 3), 3 * sizeof(float)), 0);
    // Vertex 1 belongs to the first triangle only.
    EXPECT_FLOAT_EQ(corner(b.smooth, 1)[5], 1.0f);
    // The smooth buffer carries the same positions, UVs and colours.
    for (size_t c = 0; c < 6; ++c)
        for (size_t f : {0u, 1u, 2u, 6u, 7u, 8u, 9u, 10u, 11u})
            EXPECT_EQ(corner(b.flat, c)[f], corner(b.smooth, c)[f]);
}

TEST(CornerBuffers, ChartOfTriangleFollowsTheCountsIncludingEmptyCharts)
{
    const iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 0, 1, 0};
    iuv::UIntVector tris;
    for (int t = 0; t < 5; ++t)
        tris.insert(tris.end(), {0, 1, 2});
    const iuv::DoubleVector uvs{0, 0, 1, 0, 0, 1};
    // Chart 0 empty, chart 1 two triangles, chart 2 one; two triangles left over.
    const CornerBuffers b = buildCornerBuffers(tris, positions, tris, uvs, {0, 2, 1});
    ASSERT_EQ(b.cornerCount(), 15u);
    const size_t expectedChart[5] = {1, 1, 2, 3, 3};
    for (size_t t = 0; t < 5; ++t)
        expectColour(corner(b.flat, 3 * t), expectedChart[t]);
    // Chart 33 is drawn like chart 1.
    const CornerBuffers wrapped = buildCornerBuffers(iuv::UIntVector{0, 1, 2}, positions, iuv::UIntVector{0, 1, 2},
                                                     uvs, std::vector<size_t>(33, 0));
    expectColour(corner(wrapped.flat, 0), 1);
}

TEST(CornerBuffers, DegenerateAndOutOfRangeInputGivesFiniteRecords)
{
    const double nan = std::nan("");
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 2, 2, 2, nan, 0, 0};
    // A zero-area triangle, one naming vertex 9 (absent), one with a NaN corner.
    const iuv::UIntVector tris{0, 1, 2, 0, 9, 1, 0, 1, 3};
    const CornerBuffers b = buildCornerBuffers(tris, positions, iuv::UIntVector{0, 1}, iuv::DoubleVector{}, {3});
    ASSERT_EQ(b.cornerCount(), 6u);  // the out-of-range triangle is left out
    for (size_t c = 0; c < 6; ++c) {
        for (size_t f = 3; f < kCornerFloats; ++f) {
            EXPECT_TRUE(std::isfinite(corner(b.flat, c)[f])) << c << "," << f;
            EXPECT_TRUE(std::isfinite(corner(b.smooth, c)[f])) << c << "," << f;
        }
        EXPECT_FLOAT_EQ(corner(b.flat, c)[6], 0.0f);  // missing UVs read (0,0)
    }
    EXPECT_FLOAT_EQ(corner(b.flat, 0)[5], 1.0f);
    EXPECT_FLOAT_EQ(corner(b.smooth, 2)[5], 1.0f);

    EXPECT_EQ(buildCornerBuffers({}, {}, {}, {}, {}).cornerCount(), 0u);
    EXPECT_EQ(buildCornerBuffers(iuv::UIntVector{0, 1, 2}, {}, {}, {}, {}).cornerCount(), 0u);
}
