#include "model/chart.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using testsupport::makeChart;
using testsupport::unitSquareChart;

TEST(ChartOps, MeasuresFlipsTransformsAndMerging)
{
    // UV vertex 3 is not used and must not widen the box.
    const UVBox box = chartUVBounds(makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 2, 0, 0, 1, 50, 50}));
    EXPECT_EQ(std::make_pair(box.maxU, box.maxV), std::make_pair(2.0, 1.0));
    EXPECT_DOUBLE_EQ(chartArea(unitSquareChart(), {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0}, false), 4.0);
    // Flips are differences of orientation; all clockwise or zero area is none.
    EXPECT_TRUE(hasUVFlips(makeChart({0, 1, 2, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1})));
    EXPECT_FALSE(hasUVFlips(makeChart({0, 2, 1, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1})));
    EXPECT_FALSE(hasUVFlips(makeChart({0, 1, 2, 0, 1, 3}, {}, {0, 0, 1, 0, 1, 1, 2, 0})));

    Chart c = makeChart({0, 1, 2}, {}, {2, 1, 6, 1, 2, 3});
    normalizeToUnitSquare(c);
    EXPECT_EQ(c.uvCoords2D, (iuv::DoubleVector{0, 0, 1, 0, 0, 0.5}));
    Chart tiny;
    tiny.uvCoords2D = {5.0};
    normalizeToUnitSquare(tiny); // fewer than two values: untouched
    EXPECT_EQ(tiny.uvCoords2D[0], 5.0);

    ChartList charts{makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 1, 0, 0, 1}),
                     makeChart({2, 1, 3, 3, 1, 4}, {0, 1, 2, 2, 1, 3}, {0, 0, 1, 0, 1, 1, 2, 2})};
    Chart merged;
    mergeCharts(charts, merged);
    EXPECT_EQ(merged.triIndicesPos, (iuv::UIntVector{0, 1, 2, 2, 1, 3, 3, 1, 4}));
    EXPECT_EQ(merged.triIndicesUV, (iuv::UIntVector{0, 1, 2, 3, 4, 5, 5, 4, 6}));
    EXPECT_TRUE(chartIndicesValid(merged));
    const Chart before = charts[0];
    mergeCharts(charts, charts[0]); // merging into a listed chart does nothing
    EXPECT_EQ(charts[0].triIndicesUV, before.triIndicesUV);
}
