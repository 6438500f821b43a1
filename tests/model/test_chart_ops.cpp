#include "model/chart.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testsupport::makeChart;
using testsupport::unitSquareChart;

TEST(ChartBounds, EmptyChartGivesInvertedBox)
{
    const UVBox box = chartUVBounds(Chart());
    EXPECT_EQ(box.minU, std::numeric_limits<double>::max());
    EXPECT_EQ(box.maxV, std::numeric_limits<double>::lowest());
    EXPECT_TRUE(box.isInverted());
}

TEST(ChartBounds, OnlyUsedVerticesCount)
{
    // UV vertex 3 is not used by the triangle and must not widen the box.
    Chart c = makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 2, 0, 0, 1, 50, 50});
    const UVBox box = chartUVBounds(c);
    EXPECT_DOUBLE_EQ(box.maxU, 2.0);
    EXPECT_DOUBLE_EQ(box.maxV, 1.0);
}

TEST(ChartArea, UVAnd3D)
{
    Chart c = unitSquareChart();
    iuv::DoubleVector pos = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
    EXPECT_DOUBLE_EQ(chartArea(c, pos, true), 1.0);
    EXPECT_DOUBLE_EQ(chartArea(c, pos, false), 4.0);
    EXPECT_DOUBLE_EQ(chartArea(Chart(), pos, true), 0.0);
}

TEST(ChartFlips, OrientationDifferencesOnly)
{
    // A single triangle never counts as flipped.
    EXPECT_FALSE(hasUVFlips(makeChart({0, 2, 1}, {}, {0, 0, 1, 0, 0, 1})));
    // All clockwise: no flips.
    Chart cw = makeChart({0, 2, 1, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1});
    EXPECT_FALSE(hasUVFlips(cw));
    // Mixed orientation.
    Chart mixed = makeChart({0, 1, 2, 0, 3, 2}, {}, {0, 0, 1, 0, 1, 1, 0, 1});
    EXPECT_TRUE(hasUVFlips(mixed));
    // A zero-area triangle is never flipped.
    Chart zero = makeChart({0, 1, 2, 0, 1, 3}, {}, {0, 0, 1, 0, 1, 1, 2, 0});
    EXPECT_FALSE(hasUVFlips(zero));
}

TEST(ChartTransform, NormalizeToUnitSquare)
{
    Chart c = makeChart({0, 1, 2}, {}, {2, 1, 6, 1, 2, 3});
    normalizeToUnitSquare(c);
    const UVBox box = chartUVBounds(c);
    EXPECT_DOUBLE_EQ(box.minU, 0.0);
    EXPECT_DOUBLE_EQ(box.maxU, 1.0);
    EXPECT_DOUBLE_EQ(box.minV, 0.0);
    EXPECT_DOUBLE_EQ(box.maxV, 0.5);

    Chart tiny;
    tiny.uvCoords2D = {5.0};
    normalizeToUnitSquare(tiny); // fewer than two values: untouched
    EXPECT_EQ(tiny.uvCoords2D[0], 5.0);
}

TEST(ChartTransform, Translate)
{
    iuv::DoubleVector uv = {0, 0, 1, 2};
    translateUVs(uv, 1.5, -2);
    EXPECT_EQ(uv, (iuv::DoubleVector{1.5, -2, 2.5, 0}));
}

TEST(ChartList, MergeOffsetsUVIndices)
{
    ChartList charts;
    charts.push_back(makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 1, 0, 0, 1}));
    charts.push_back(makeChart({2, 1, 3, 3, 1, 4}, {0, 1, 2, 2, 1, 3}, {0, 0, 1, 0, 1, 1, 2, 2}));
    Chart merged;
    mergeCharts(charts, merged);
    EXPECT_EQ(merged.triIndicesPos, (iuv::UIntVector{0, 1, 2, 2, 1, 3, 3, 1, 4}));
    EXPECT_EQ(merged.triIndicesUV, (iuv::UIntVector{0, 1, 2, 3, 4, 5, 5, 4, 6}));
    EXPECT_EQ(merged.uvCoords2D.size(), 14u);

    // Merging into one of the listed charts does nothing.
    Chart before = charts[0];
    mergeCharts(charts, charts[0]);
    EXPECT_EQ(charts[0].triIndicesUV, before.triIndicesUV);
}

TEST(ChartList, BoundaryLengthAndNormalisedLength)
{
    ChartList charts = {unitSquareChart()};
    EXPECT_DOUBLE_EQ(chartBoundaryLength(charts[0]), 4.0);
    EXPECT_DOUBLE_EQ(totalUVArea(charts), 1.0);
    EXPECT_DOUBLE_EQ(totalBoundaryLength(charts) / std::sqrt(totalUVArea(charts)), 4.0);
    EXPECT_DOUBLE_EQ(chartBoundaryLength(Chart()), 0.0);
}
