#include "geometry/efficiency.h"

#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <limits>

TEST(AtlasPackingEfficiency, FilledSquareExceedsOneHundred)
{
    // 1024^2 covered cells over plain-difference extents of 1023 x 1023.
    const ChartList charts{packtest::gridChart(4, 4, 2, 3, 5, 5)};
    EXPECT_NEAR(atlasPackingEfficiency(charts), 1024.0 * 1024.0 * 100.0 / (1023.0 * 1023.0), 1e-9);
}

TEST(AtlasPackingEfficiency, HalfCoveredBoxIsAboutFifty)
{
    // Two unit squares at opposite corners of a 2 x 2 box.
    const ChartList charts{packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 1, 1, 1, 1)};
    const double efficiency = atlasPackingEfficiency(charts);
    EXPECT_GT(efficiency, 50.0);
    EXPECT_LT(efficiency, 50.5);
}

TEST(AtlasPackingEfficiency, NoCoveredCellGivesZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(atlasPackingEfficiency({}), 0.0);
    EXPECT_EQ(atlasPackingEfficiency({Chart()}), 0.0);
    EXPECT_EQ(atlasPackingEfficiency({packtest::gridChart(1, 1, 1, 1, 0, 0)}), 0.0);
    Chart allNaN = packtest::gridChart(1, 1, 0, 0, 1, 1);
    for (double& x : allNaN.uvCoords2D)
        x = nan;
    EXPECT_EQ(atlasPackingEfficiency({allNaN}), 0.0);
    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[0] = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(atlasPackingEfficiency({infinite}), 0.0);
    // One raster row: the row extent is 0.
    EXPECT_EQ(atlasPackingEfficiency({packtest::gridChart(4, 1, 0, 0, 1, 1e-9)}), 0.0);
    EXPECT_GT(atlasPackingEfficiency({packtest::gridChart(1, 1, 1e300, 1e300, 1e299, 1e299)}), 100.0);
}

TEST(LayoutRaster, LongerSideHas1024Cells)
{
    LayoutRaster raster;
    ASSERT_TRUE(layoutRasterFor(UVBox(0, 0, 4, 1), raster));
    EXPECT_EQ(raster.width, 1024);
    EXPECT_EQ(raster.height, 256);
    EXPECT_DOUBLE_EQ(raster.scale, 256.0);
    ASSERT_TRUE(layoutRasterFor(UVBox(0, 0, 1, 1e-9), raster));
    EXPECT_EQ(raster.height, 1);
    EXPECT_FALSE(layoutRasterFor(UVBox(), raster));
    EXPECT_FALSE(layoutRasterFor(UVBox(2, 2, 2, 2), raster));
}
