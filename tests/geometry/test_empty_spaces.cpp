#include "geometry/empty_spaces.h"

#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// One cell of the 1024-cell grid over a unit box.
constexpr double Cell = 1.0 / 1024.0;

bool inside(const EmptySpace& inner, const EmptySpace& outer)
{
    return inner.minU >= outer.minU && inner.maxU <= outer.maxU && inner.minV >= outer.minV &&
           inner.maxV <= outer.maxV;
}

// A comb: a bar along the bottom and teeth of height 5 separated by gaps of
// the given widths (the gaps open to the top of the layout's box).
ChartList comb(const std::vector<double>& gaps)
{
    ChartList charts;
    double u = 0.0;
    charts.push_back(packtest::gridChart(1, 1, 0.0, 0.0, 0.5, 5.0));
    u = 0.5;
    for (double g : gaps) {
        u += g;
        charts.push_back(packtest::gridChart(1, 1, u, 0.0, 0.5, 5.0));
        u += 0.5;
    }
    charts.push_back(packtest::gridChart(1, 1, 0.0, 0.0, u, 1.0));
    return charts;
}

} // namespace

TEST(FindEmptySpaces, LShapeGivesItsMissingQuadrantAsOneSpace)
{
    const ChartList charts{packtest::lShapeChart()};
    std::vector<EmptySpace> spaces;
    UVBox box;
    findEmptySpaces(charts, spaces, 0.01, 1.0, &box);
    ASSERT_FALSE(spaces.empty());
    EXPECT_DOUBLE_EQ(box.minU, 0.0);
    EXPECT_DOUBLE_EQ(box.maxV, 1.0);
    // The quadrant, less the cells that its edges on the grid lines touch.
    const EmptySpace& q = spaces[0];
    EXPECT_NEAR(q.minU, 0.5, 2 * Cell);
    EXPECT_NEAR(q.minV, 0.5, 2 * Cell);
    EXPECT_DOUBLE_EQ(q.maxU, 1.0);
    EXPECT_DOUBLE_EQ(q.maxV, 1.0);
    // Whatever else survives the pruning lies inside it: the quadrant is not
    // split into pieces.
    for (size_t i = 1; i < spaces.size(); ++i) {
        EXPECT_TRUE(inside(spaces[i], q)) << i;
        EXPECT_LE(spaces[i].area(), 0.1 * q.area());
    }
}

TEST(FindEmptySpaces, ShorterSideMustBeStrictlyAboveMinSide)
{
    const ChartList charts{packtest::lShapeChart()};
    std::vector<EmptySpace> spaces;
    findEmptySpaces(charts, spaces, 0.0, 1.0, nullptr);
    ASSERT_FALSE(spaces.empty());
    const EmptySpace quadrant = spaces[0];
    const double side = std::min(quadrant.width(), quadrant.height());

    spaces.clear();
    findEmptySpaces(charts, spaces, side, 1.0, nullptr);
    for (const EmptySpace& s : spaces)
        EXPECT_GT(std::min(s.width(), s.height()), side);
    EXPECT_TRUE(spaces.empty() || spaces[0].area() < quadrant.area());

    spaces.clear();
    findEmptySpaces(charts, spaces, std::nextafter(side, 0.0), 1.0, nullptr);
    ASSERT_FALSE(spaces.empty());
    EXPECT_DOUBLE_EQ(spaces[0].area(), quadrant.area());
}

TEST(SelectEmptySpaces, PrunesOnlyAboveOneTenthOfTheEarlierBox)
{
    const EmptySpace r{0, 0, 10, 1};          // area 10
    const EmptySpace exactTenth{9, 0, 11, 1}; // shares 1.0 with r
    const EmptySpace moreThanTenth{8.9, 0, 10.9, 1};
    std::vector<EmptySpace> kept = selectEmptySpaces({exactTenth, r}, 8);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_DOUBLE_EQ(kept[0].area(), 10.0); // largest first
    kept = selectEmptySpaces({r, moreThanTenth}, 8);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_DOUBLE_EQ(kept[0].minU, 0.0);
    // Touching boxes intersect in a line of no area: both stay.
    EXPECT_EQ(selectEmptySpaces({r, EmptySpace{10, 0, 12, 1}}, 8).size(), 2u);
}

TEST(SelectEmptySpaces, EqualAreasKeepTheirOrderAndPrunedBoxesDoNotPrune)
{
    const EmptySpace a{0, 0, 1, 1}, b{5, 0, 6, 1}, c{3, 0, 4, 1};
    std::vector<EmptySpace> kept = selectEmptySpaces({a, b, c}, 8);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_DOUBLE_EQ(kept[1].minU, 5.0);
    // big prunes middle; middle would have pruned small, but it is gone.
    const EmptySpace big{0, 0, 4, 4}, middle{2.5, 2.5, 4.5, 4.5}, small{3.8, 3.8, 4.8, 4.8};
    kept = selectEmptySpaces({small, middle, big}, 8);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_DOUBLE_EQ(kept[1].minU, 3.8);
    EXPECT_EQ(selectEmptySpaces({a, b, c}, 2).size(), 2u);
}

TEST(FindEmptySpaces, MoreThanEightSpacesKeepsTheEightLargest)
{
    std::vector<double> gaps;
    for (int i = 0; i < 12; ++i)
        gaps.push_back(0.3 + 0.1 * ((i * 5) % 12)); // 12 distinct widths, shuffled
    const ChartList charts = comb(gaps);
    std::vector<EmptySpace> spaces;
    findEmptySpaces(charts, spaces, 0.1, 1.0, nullptr);
    ASSERT_EQ(spaces.size(), 8u);
    const double cell = chartListUVBounds(charts).width() / 1024.0;
    std::vector<double> widest(gaps);
    std::sort(widest.rbegin(), widest.rend());
    for (size_t i = 0; i < spaces.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(spaces[i - 1].area(), spaces[i].area());
        }
        EXPECT_NEAR(spaces[i].width(), widest[i], 3 * cell) << i;
        EXPECT_NEAR(spaces[i].maxV, 5.0, 1e-9);
    }
}

TEST(FindEmptySpaces, ResultNeverExceedsEightEntries)
{
    const ChartList charts{packtest::lShapeChart()};
    std::vector<EmptySpace> spaces(3, EmptySpace{0, 0, 1, 1});
    findEmptySpaces(charts, spaces, 0.0, 1.0, nullptr);
    EXPECT_LE(spaces.size(), 8u);
    EXPECT_GT(spaces.size(), 3u);
    spaces.assign(9, EmptySpace{0, 0, 1, 1});
    findEmptySpaces(charts, spaces, 0.0, 1.0, nullptr);
    EXPECT_EQ(spaces.size(), 8u);
}

TEST(FindEmptySpaces, DegenerateInputGivesNoSpaces)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<EmptySpace> spaces;
    findEmptySpaces({}, spaces, 0.01, 1.0, nullptr);
    EXPECT_TRUE(spaces.empty());

    // A flat chart (zero height), a chart without triangles, NaN and infinite
    // coordinates, degenerate resolutions.
    Chart flat = packtest::gridChart(2, 1, 0, 0, 1, 0);
    findEmptySpaces({flat, Chart()}, spaces, 0.01, 1.0, nullptr);
    EXPECT_TRUE(spaces.empty());
    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[0] = std::numeric_limits<double>::infinity();
    findEmptySpaces({infinite}, spaces, 0.01, 1.0, nullptr);
    EXPECT_TRUE(spaces.empty());
    UVBox box;
    for (double resolution : {0.0, -1.0, nan, 1e-6})
        findEmptySpaces({packtest::lShapeChart()}, spaces, 0.01, resolution, &box);
    EXPECT_TRUE(spaces.empty());
    EXPECT_DOUBLE_EQ(box.maxU, 1.0); // the box is still reported

    // NaN in one corner: that triangle is skipped, the rest still counts.
    Chart withNaN = packtest::lShapeChart();
    withNaN.uvCoords2D[2] = nan;
    findEmptySpaces({withNaN}, spaces, 0.01, 1.0, nullptr);
    for (const EmptySpace& s : spaces)
        EXPECT_TRUE(std::isfinite(s.area()));
}

TEST(FindEmptySpaces, CoarserResolutionStillFindsTheQuadrant)
{
    std::vector<EmptySpace> spaces;
    findEmptySpaces({packtest::lShapeChart()}, spaces, 0.01, 0.25, nullptr);
    ASSERT_FALSE(spaces.empty());
    EXPECT_NEAR(spaces[0].minU, 0.5, 2.0 / 256);
    EXPECT_DOUBLE_EQ(spaces[0].maxU, 1.0);
}
