#include "packing/compaction.h"

#include "geometry/efficiency.h"
#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

// A filled rectangle measures F * 100 / ((r1 - r0) * (c1 - c0)) on 1024 x 1024
// cells: all 1024^2 cells over 1023^2.
const double FilledSquareEfficiency = 1024.0 * 1024.0 * 100.0 / (1023.0 * 1023.0);

Chart withVertexBase(Chart c, uint32_t base)
{
    for (uint32_t& v : c.triIndicesPos)
        v += base;
    return c;
}

// A U-shaped chart at the origin, 3 wide and 4 high, with walls and floor
// 0.5 thick: it touches both axes and cannot move.
Chart cupChart()
{
    ChartList parts{packtest::gridChart(1, 1, 0.0, 0.0, 3.0, 0.5), packtest::gridChart(1, 1, 0.0, 0.5, 0.5, 3.5),
                    packtest::gridChart(1, 1, 2.5, 0.5, 0.5, 3.5)};
    Chart cup;
    mergeCharts(parts, cup);
    return cup;
}

} // namespace

TEST(CompactCharts, SingleChartEndsAtTheOrigin)
{
    ChartList charts{packtest::gridChart(3, 2, -4.5, 7.25, 2.0, 1.0)};
    const double efficiency = compactCharts(charts);
    const UVBox box = chartUVBounds(charts[0]);
    EXPECT_DOUBLE_EQ(box.minU, 0.0);
    EXPECT_DOUBLE_EQ(box.minV, 0.0);
    EXPECT_NEAR(box.maxU, 2.0, 1e-12);
    EXPECT_NEAR(box.maxV, 1.0, 1e-12);
    EXPECT_GT(efficiency, 100.0); // a filled rectangle reports more than 100
}

TEST(CompactCharts, FilledRectangleReportsMoreThanOneHundred)
{
    ChartList charts{packtest::gridChart(1, 1, 0, 0, 1, 1)};
    EXPECT_NEAR(compactCharts(charts), FilledSquareEfficiency, 1e-9);
    EXPECT_NEAR(atlasPackingEfficiency(charts), FilledSquareEfficiency, 1e-9);
}

TEST(CompactCharts, PackedLayoutIsOnlyMovedToTheOrigin)
{
    // Two squares side by side, against the left and bottom of their box.
    ChartList charts{packtest::gridChart(2, 2, 10, 10, 1, 1),
                     withVertexBase(packtest::gridChart(2, 2, 11, 10, 1, 1), 100)};
    const ChartList before = charts;
    compactCharts(charts);
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < charts[c].uvCoords2D.size(); i += 2) {
            EXPECT_NEAR(charts[c].uvCoords2D[i], before[c].uvCoords2D[i] - 10.0, 1e-12);
            EXPECT_NEAR(charts[c].uvCoords2D[i + 1], before[c].uvCoords2D[i + 1] - 10.0, 1e-12);
        }
}

TEST(CompactCharts, ChartsSlideLeftBeforeDown)
{
    // A cup at the origin and a unit square above and right of it. Going
    // left first carries the square over the cup's left wall, where it then
    // drops onto the wall; going down first would have put it on the floor
    // of the box to the right of the cup.
    ChartList charts{cupChart(), withVertexBase(packtest::gridChart(1, 1, 5.0, 5.0, 1.0, 1.0), 100)};
    compactCharts(charts);
    const double cell = 6.0 / 1024.0;
    const UVBox square = chartUVBounds(charts[1]);
    EXPECT_NEAR(square.minU, 0.0, 2 * cell);
    EXPECT_GE(square.minV, 4.0);
    EXPECT_LT(square.minV, 4.0 + 3 * cell);
    EXPECT_EQ(packtest::findChartOverlaps(charts, 1e-9).overlappingPairs, 0u);
    const UVBox cup = chartUVBounds(charts[0]);
    EXPECT_DOUBLE_EQ(cup.minU, 0.0);
    EXPECT_DOUBLE_EQ(cup.minV, 0.0);
}

TEST(CompactCharts, ChartsCloserThanACellNeverEndUpOverlapping)
{
    // Squares on a grid of unit slots, neighbours a fraction of a raster
    // cell apart, so that many raster cells are touched by two charts; some
    // slots stay empty so that charts slide.
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 16;
        const double cell = n / 1024.0;
        ChartList charts;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                if (unit(rng) < 0.25)
                    continue;
                const double gapU = cell * (0.05 + 0.9 * unit(rng)), gapV = cell * (0.05 + 0.9 * unit(rng));
                Chart c = packtest::gridChart(2, 2, i + gapU * unit(rng), j + gapV * unit(rng), 1.0 - gapU,
                                              1.0 - gapV);
                charts.push_back(withVertexBase(c, uint32_t(100 * charts.size())));
            }
        ASSERT_EQ(packtest::findChartOverlaps(charts, 1e-12).overlappingPairs, 0u);
        const double efficiency = compactCharts(charts);
        EXPECT_GT(efficiency, 0.0);
        const packtest::OverlapReport report = packtest::findChartOverlaps(charts, 1e-9);
        EXPECT_EQ(report.overlappingPairs, 0u) << "seed " << seed << " deepest " << report.deepest;
    }
}

TEST(CompactCharts, NothingToMeasureGivesZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    ChartList empty;
    EXPECT_EQ(compactCharts(empty), 0.0);

    Chart noTriangles;
    noTriangles.uvCoords2D = {1.0, 2.0};
    ChartList bare{noTriangles};
    EXPECT_EQ(compactCharts(bare), 0.0);
    EXPECT_EQ(bare[0].uvCoords2D, noTriangles.uvCoords2D);

    ChartList point{packtest::gridChart(1, 1, 3, 3, 0, 0)};
    EXPECT_EQ(compactCharts(point), 0.0);

    Chart allNaN = packtest::gridChart(1, 1, 0, 0, 1, 1);
    for (double& x : allNaN.uvCoords2D)
        x = nan;
    ChartList nanCharts{allNaN};
    EXPECT_EQ(compactCharts(nanCharts), 0.0);

    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[2] = inf;
    ChartList infCharts{infinite, packtest::gridChart(1, 1, 0, 0, 1, 1)};
    EXPECT_EQ(compactCharts(infCharts), 0.0);

    // A strip thinner than one raster row covers one row: no extent to divide by.
    ChartList strip{packtest::gridChart(4, 1, 0, 0, 1.0, 1e-6)};
    EXPECT_EQ(compactCharts(strip), 0.0);
    EXPECT_DOUBLE_EQ(chartUVBounds(strip[0]).minU, 0.0);
}
