#include "packing/compaction.h"

#include "geometry/efficiency.h"
#include "support/chart_layouts.h"

#include <gtest/gtest.h>

namespace {

Chart withVertexBase(Chart c, uint32_t base)
{
    for (uint32_t& v : c.triIndicesPos)
        v += base;
    return c;
}

} // namespace

TEST(CompactCharts, MovesChartsLeftThenDownWithoutOverlap)
{
    // A single chart ends at the origin.
    ChartList one{packtest::gridChart(3, 2, -4.5, 7.25, 2.0, 1.0)};
    EXPECT_DOUBLE_EQ(compactCharts(one), 100.0);
    EXPECT_EQ(chartUVBounds(one[0]).minU, 0.0);
    EXPECT_EQ(chartUVBounds(one[0]).minV, 0.0);
    // Layouts covering their box without gaps measure exactly 100 both ways:
    // the cells on a line where two charts meet count once.
    const std::vector<ChartList> filled = {
        {packtest::gridChart(1, 1, 0, 0, 1, 1)},
        {packtest::gridChart(1, 1, 0, 0, 1, 1), withVertexBase(packtest::gridChart(1, 1, 1, 0, 1, 1), 10)},
        {packtest::gridChart(2, 1, 0, 0, 1.5, 0.5), withVertexBase(packtest::gridChart(3, 2, 0, 0.5, 1.5, 0.7), 10),
         withVertexBase(packtest::gridChart(1, 1, 1.5, 0, 0.3, 1.2), 30)},
    };
    for (size_t i = 0; i < filled.size(); ++i) {
        ChartList charts = filled[i];
        EXPECT_DOUBLE_EQ(atlasPackingEfficiency(charts), 100.0) << "layout " << i;
        EXPECT_DOUBLE_EQ(compactCharts(charts), 100.0) << "layout " << i;
    }

    // Packed squares side by side only move to the origin.
    ChartList packed{packtest::gridChart(2, 2, 10, 10, 1, 1), withVertexBase(packtest::gridChart(2, 2, 11, 10, 1, 1), 100)};
    const ChartList before = packed;
    compactCharts(packed);
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < packed[c].uvCoords2D.size(); ++i)
            EXPECT_NEAR(packed[c].uvCoords2D[i], before[c].uvCoords2D[i] - 10.0, 1e-12);

    // A cup at the origin and a square above right of it: going left first
    // carries the square over the cup's left wall, where it drops onto it.
    ChartList parts{packtest::gridChart(1, 1, 0.0, 0.0, 3.0, 0.5), packtest::gridChart(1, 1, 0.0, 0.5, 0.5, 3.5),
                    packtest::gridChart(1, 1, 2.5, 0.5, 0.5, 3.5)};
    Chart cup;
    mergeCharts(parts, cup);
    ChartList charts{cup, withVertexBase(packtest::gridChart(1, 1, 5.0, 5.0, 1.0, 1.0), 100)};
    compactCharts(charts);
    const double cell = 6.0 / 1024.0;
    const UVBox moved = chartUVBounds(charts[1]);
    EXPECT_NEAR(moved.minU, 0.0, 2 * cell);
    EXPECT_GE(moved.minV, 4.0);
    EXPECT_LT(moved.minV, 4.0 + 3 * cell);
    EXPECT_EQ(chartUVBounds(charts[0]).minU, 0.0);
    EXPECT_EQ(packtest::findChartOverlaps(charts, 1e-12).overlappingPairs, 0u);

    // A strip thinner than a raster row covers that row wholly; nothing to measure gives 0.
    ChartList strip{packtest::gridChart(4, 1, 0, 0, 1.0, 1e-6)}, none;
    EXPECT_DOUBLE_EQ(compactCharts(strip), 100.0);
    EXPECT_EQ(compactCharts(none), 0.0);
}
