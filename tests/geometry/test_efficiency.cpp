#include "geometry/efficiency.h"

#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <limits>

TEST(AtlasPackingEfficiency, CoveredCellsOverTheLayoutExtent)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    Chart allNaN = packtest::gridChart(1, 1, 0, 0, 1, 1), infinite = allNaN;
    for (double& x : allNaN.uvCoords2D)
        x = nan;
    infinite.uvCoords2D[0] = -inf;
    struct Case { const char* name; ChartList charts; double lo, hi; };
    const std::vector<Case> cases = {
        {"filled square", {packtest::gridChart(4, 4, 2, 3, 5, 5)}, 100.0, 100.0},
        {"half covered", {packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 1, 1, 1, 1)}, 49.9, 50.2},
        {"huge coordinates", {packtest::gridChart(1, 1, 1e300, 1e300, 1e299, 1e299)}, 100.0, 100.0},
        {"no charts", {}, 0, 0},
        {"no triangles", {Chart()}, 0, 0},
        {"zero extent", {packtest::gridChart(1, 1, 1, 1, 0, 0)}, 0, 0},
        {"NaN", {allNaN}, 0, 0},
        {"infinite", {infinite}, 0, 0},
        {"one raster row", {packtest::gridChart(4, 1, 0, 0, 1, 1e-9)}, 100.0, 100.0},
    };
    for (const Case& c : cases) {
        const double e = atlasPackingEfficiency(c.charts);
        EXPECT_TRUE(e >= c.lo && e <= c.hi) << c.name << ": " << e;
    }
}
