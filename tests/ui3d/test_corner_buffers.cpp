#include "render/MeshCornerBuffers.h"

#include "io/palette.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float* corner(const std::vector<float>& buffer, size_t c) { return buffer.data() + c * kCornerFloats; }

void expectColour(const float* record, size_t chart)
{
    const Rgb8 colour = chartColor(chart);
    EXPECT_EQ(std::vector<float>(record + 8, record + 12),
              (std::vector<float>{colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, 1.0f}));
}

} // namespace

TEST(CornerBuffers, FaceAndAreaWeightedVertexNormalsUVsAndChartColours)
{
    // Two triangles on the edge (0,0,0)-(0,2,0): area 2 in z = 0, area 1 in x = 0.
    const iuv::DoubleVector positions{0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, -1, 0, 1, 0};
    const iuv::DoubleVector uvs{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    const CornerBuffers b = buildCornerBuffers({0, 1, 2, 0, 2, 3}, positions, {2, 0, 1, 3, 1, 4}, uvs, {1, 1});
    ASSERT_EQ(b.cornerCount(), 6u);
    EXPECT_EQ(std::vector<float>(corner(b.flat, 1), corner(b.flat, 1) + 8), (std::vector<float>{2, 0, 0, 0, 0, 1, 0.1f, 0.2f}));
    EXPECT_FLOAT_EQ(corner(b.flat, 4)[3], -1.0f); // (p2-p0) x (p3-p0) = (0,2,0) x (0,0,-1)
    // The shared vertex: (2 * (0,0,1) + 1 * (-1,0,0)) / 3, not renormalised.
    EXPECT_EQ(std::vector<float>(corner(b.smooth, 3) + 3, corner(b.smooth, 3) + 6), (std::vector<float>{-1.0f / 3, 0, 2.0f / 3}));
    EXPECT_FLOAT_EQ(corner(b.smooth, 1)[5], 1.0f);
    for (size_t c = 0; c < 6; ++c) {
        expectColour(corner(b.smooth, c), c / 3);
        for (size_t f : {0u, 1u, 2u, 6u, 7u, 8u, 9u, 10u, 11u})
            EXPECT_EQ(corner(b.flat, c)[f], corner(b.smooth, c)[f]);
    }
    // Chart counts with an empty chart and leftovers; chart 33 is drawn like chart 1.
    const iuv::DoubleVector tri{0, 0, 0, 1, 0, 0, 0, 1, 0};
    iuv::UIntVector five;
    for (int t = 0; t < 5; ++t)
        five.insert(five.end(), {0, 1, 2});
    const CornerBuffers counted = buildCornerBuffers(five, tri, five, {0, 0, 1, 0, 0, 1}, {0, 2, 1});
    const size_t chartOf[5] = {1, 1, 2, 3, 3};
    for (size_t t = 0; t < 5; ++t)
        expectColour(corner(counted.flat, 3 * t), chartOf[t]);
    expectColour(corner(buildCornerBuffers({0, 1, 2}, tri, {0, 1, 2}, {0, 0, 1, 0, 0, 1}, std::vector<size_t>(33, 0)).flat, 0), 1);
}

TEST(CornerBuffers, DegenerateAndOutOfRangeInputGivesFiniteRecords)
{
    // A zero-area triangle, one naming an absent vertex, one with a NaN corner; UVs missing.
    const iuv::DoubleVector positions{0, 0, 0, 1, 1, 1, 2, 2, 2, std::nan(""), 0, 0};
    const CornerBuffers b = buildCornerBuffers({0, 1, 2, 0, 9, 1, 0, 1, 3}, positions, {0, 1}, {}, {3});
    ASSERT_EQ(b.cornerCount(), 6u);
    for (size_t c = 0; c < 6; ++c) {
        for (size_t f = 3; f < kCornerFloats; ++f)
            EXPECT_TRUE(std::isfinite(corner(b.flat, c)[f]) && std::isfinite(corner(b.smooth, c)[f])) << c << "," << f;
        EXPECT_FLOAT_EQ(corner(b.flat, c)[6], 0.0f);
    }
    EXPECT_EQ(buildCornerBuffers({}, {}, {}, {}, {}).cornerCount(), 0u);
    EXPECT_EQ(buildCornerBuffers({0, 1, 2}, {}, {}, {}, {}).cornerCount(), 0u);
}
