#include "model/chart.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"

#include <gtest/gtest.h>

#include <limits>

using testsupport::makeChart;
using testsupport::unitSquareChart;

TEST(ChartOps, MeasuresCountOnlyUsedVertices)
{
    EXPECT_TRUE(chartUVBounds(Chart()).isInverted());
    // UV vertex 3 is not used and must not widen the box.
    const UVBox box = chartUVBounds(makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 2, 0, 0, 1, 50, 50}));
    EXPECT_EQ(std::make_pair(box.maxU, box.maxV), std::make_pair(2.0, 1.0));
    const iuv::DoubleVector pos = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
    EXPECT_DOUBLE_EQ(chartArea(unitSquareChart(), pos, true), 1.0);
    EXPECT_DOUBLE_EQ(chartArea(unitSquareChart(), pos, false), 4.0);
    EXPECT_DOUBLE_EQ(chartArea(Chart(), pos, true), 0.0);
    EXPECT_DOUBLE_EQ(chartBoundaryLength(unitSquareChart()), 4.0);
    EXPECT_DOUBLE_EQ(chartBoundaryLength(Chart()), 0.0);
}

TEST(ChartOps, FlipsAreOrientationDifferences)
{
    const std::vector<std::pair<Chart, bool>> cases = {
        {makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1}), false},                      // one clockwise triangle
        {makeChart({0, 2, 1, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1}), false},       // all clockwise
        {makeChart({0, 1, 2, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1}), true},        // mixed
        {makeChart({0, 1, 2, 0, 1, 3}, {}, {0, 0, 1, 0, 1, 1, 2, 0}), false},       // zero area
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(hasUVFlips(cases[i].first), cases[i].second) << i;
}

TEST(ChartOps, TransformsAndMerging)
{
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
