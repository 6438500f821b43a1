#include "support/test_support.h"
#include "repair/flip_repair.h"

#include <gtest/gtest.h>

#include <limits>

using testsupport::makeChart;

TEST(CompactUVVertices, RenumbersDenselyInOldOrder)
{
    const CompactedUVIndices r = compactUVVertices(iuv::UIntVector{7, 3, 9, 3, 7, 12});
    EXPECT_EQ(r.indices, (iuv::UIntVector{1, 0, 2, 0, 1, 3}));
    EXPECT_EQ(r.oldVertex, (std::vector<uint32_t>{3, 7, 9, 12}));
    EXPECT_TRUE(compactUVVertices(iuv::UIntVector{}).indices.empty());
}

TEST(MirrorIfClockwise, MirrorsOnlyConsistentClockwiseCharts)
{
    Chart cw = makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1});
    mirrorIfClockwise(cw);
    EXPECT_EQ(cw.uvCoords2D, (iuv::DoubleVector{-0.0, 0, -1, 0, -0.0, 1}));
    EXPECT_GT(uvTriangleCross(cw, 0), 0.0);

    Chart ccw = makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1});
    mirrorIfClockwise(ccw);
    EXPECT_EQ(ccw.uvCoords2D, (iuv::DoubleVector{0, 0, 1, 0, 0, 1}));

    // Mixed orientation: untouched.
    Chart mixed = makeChart({0, 2, 1, 1, 3, 2}, {}, {0, 0, 1, 0, 0, 1, 1, 1});
    const iuv::DoubleVector before = mixed.uvCoords2D;
    mirrorIfClockwise(mixed);
    EXPECT_EQ(mixed.uvCoords2D, before);
}

TEST(FixFlippedTriangles, ClockwiseGroupIsSeparatedAndMirrored)
{
    // A 2x1 strip of four triangles around vertices 0..5; triangles 2 and 3
    // (the right square) are clockwise while triangle 0 is counter-clockwise.
    //   3 - 4 - 5
    //   | / | \ |
    //   0 - 1 - 2
    Chart c = makeChart({0, 1, 4, 0, 4, 3, 1, 5, 2, 1, 4, 5}, {},
                        {0, 0, 1, 0, 2, 0, 0, 1, 1, 1, 2, 1});
    testing::internal::CaptureStdout();
    fixFlippedTriangles(c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Found 2 flipped triangles to fix.\n");

    // Kept triangles first, the flipped ones after them, in their old order.
    EXPECT_EQ(c.triIndicesPos, (iuv::UIntVector{0, 1, 4, 0, 4, 3, 1, 5, 2, 1, 4, 5}));
    // Kept group uses old UV vertices 0,1,3,4 -> 0..3; the flipped group 1,2,4,5
    // -> 4..7: vertices 1 and 4 are duplicated.
    EXPECT_EQ(c.triIndicesUV, (iuv::UIntVector{0, 1, 3, 0, 3, 2, 4, 7, 5, 4, 6, 7}));
    ASSERT_EQ(c.uvCoords2D.size(), 16u);
    // Flipped group mirrored in u.
    EXPECT_EQ(c.uvCoords2D[8], -1.0);
    EXPECT_EQ(c.uvCoords2D[10], -2.0);
    for (size_t t = 0; t < c.numTriangles(); ++t)
        EXPECT_GT(uvTriangleCross(c, t), 0.0) << "triangle " << t;
}

TEST(FixFlippedTriangles, ClockwiseFirstTriangleKeepsFlippedUnmirrored)
{
    // First triangle clockwise, the second counter-clockwise.
    Chart c = makeChart({0, 3, 1, 1, 2, 3}, {}, {0, 0, 1, 0, 1, 1, 0, 1});
    ASSERT_LT(uvTriangleCross(c, 0), 0.0);
    testing::internal::CaptureStdout();
    fixFlippedTriangles(c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Found 1 flipped triangles to fix.\n");
    EXPECT_EQ(c.triIndicesUV, (iuv::UIntVector{0, 2, 1, 3, 4, 5}));
    // Flipped (counter-clockwise) triangle moved into its own island, not mirrored.
    EXPECT_EQ(c.uvCoords2D, (iuv::DoubleVector{0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1}));
    EXPECT_LT(uvTriangleCross(c, 0), 0.0);
    EXPECT_GT(uvTriangleCross(c, 1), 0.0);
}

TEST(FixFlippedTriangles, ZeroAreaStaysKeptAndUnusedVerticesDrop)
{
    // Triangle 1 has zero area; UV vertex 5 is unused.
    Chart c = makeChart({0, 1, 2, 1, 3, 4}, {}, {0, 0, 1, 0, 0, 1, 2, 0, 3, 0, 9, 9});
    testing::internal::CaptureStdout();
    fixFlippedTriangles(c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(c.triIndicesUV, (iuv::UIntVector{0, 1, 2, 1, 3, 4}));
    EXPECT_EQ(c.uvCoords2D.size(), 10u);
}

TEST(FixFlippedTriangles, SingleTriangleAndBadInputUntouched)
{
    Chart one = makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1, 5, 5});
    const Chart before = one;
    fixFlippedTriangles(one);
    EXPECT_EQ(one.uvCoords2D, before.uvCoords2D);
    EXPECT_EQ(one.triIndicesUV, before.triIndicesUV);

    Chart empty;
    fixFlippedTriangles(empty);
    EXPECT_TRUE(empty.triIndicesUV.empty());

    Chart broken = makeChart({0, 1, 2, 0, 2, 7}, {}, {0, 0, 1, 0, 0, 1});
    fixFlippedTriangles(broken);
    EXPECT_EQ(broken.triIndicesUV.size(), 6u);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    Chart withNaN = makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, nan, 1, 0, 1});
    fixFlippedTriangles(withNaN);
    EXPECT_EQ(withNaN.numTriangles(), 2u);
}
