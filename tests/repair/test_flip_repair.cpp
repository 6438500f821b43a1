#include "repair/flip_repair.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <limits>

using testsupport::makeChart;

TEST(FixFlippedTriangles, TheMinorityOrientationBecomesItsOwnIsland)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // A 2 x 1 strip whose right square (triangles 2, 3) is clockwise:
    //   3 - 4 - 5
    //   | / | \ |
    //   0 - 1 - 2
    const Chart strip = makeChart({0, 1, 4, 0, 4, 3, 1, 5, 2, 1, 4, 5}, {}, {0, 0, 1, 0, 2, 0, 0, 1, 1, 1, 2, 1});
    struct Case { const char* name; Chart chart; std::string message; iuv::UIntVector uv; bool allCounterClockwise; };
    const std::vector<Case> cases = {
        // Kept triangles first; the flipped group gets copies of its UV vertices and is mirrored.
        {"clockwise group", strip, "Found 2 flipped triangles to fix.\n", {0, 1, 3, 0, 3, 2, 4, 7, 5, 4, 6, 7}, true},
        // The first triangle sets the orientation: the other one moves out, unmirrored.
        {"clockwise first", makeChart({0, 3, 1, 1, 2, 3}, {}, {0, 0, 1, 0, 1, 1, 0, 1}), "Found 1 flipped triangles to fix.\n", {0, 2, 1, 3, 4, 5}, false},
        // A zero-area triangle stays; the unused UV vertex 5 is dropped.
        {"zero area", makeChart({0, 1, 2, 1, 3, 4}, {}, {0, 0, 1, 0, 0, 1, 2, 0, 3, 0, 9, 9}), "", {0, 1, 2, 1, 3, 4}, false},
        {"single clockwise triangle", makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1, 5, 5}), "", {0, 2, 1}, false},
        {"empty", Chart(), "", {}, false},
        {"index beyond the UVs", makeChart({0, 1, 2, 0, 2, 7}, {}, {0, 0, 1, 0, 0, 1}), "", {0, 1, 2, 0, 2, 7}, false},
        {"NaN corner", makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, nan, 1, 0, 1}), "", {0, 1, 2, 0, 2, 3}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Chart chart = c.chart;
        testing::internal::CaptureStdout();
        fixFlippedTriangles(chart);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
        EXPECT_EQ(chart.triIndicesUV, c.uv);
        EXPECT_EQ(chart.triIndicesPos, c.chart.triIndicesPos);
        for (size_t t = 0; c.allCounterClockwise && t < chart.numTriangles(); ++t)
            EXPECT_GT(uvTriangleCross(chart, t), 0.0) << t;
    }
    // A consistently clockwise chart is mirrored as a whole, a mixed one left alone.
    Chart cw = makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1});
    mirrorIfClockwise(cw);
    EXPECT_GT(uvTriangleCross(cw, 0), 0.0);
    Chart mixed = makeChart({0, 2, 1, 1, 3, 2}, {}, {0, 0, 1, 0, 0, 1, 1, 1});
    mirrorIfClockwise(mixed);
    EXPECT_EQ(mixed.uvCoords2D, (iuv::DoubleVector{0, 0, 1, 0, 0, 1, 1, 1}));
}
