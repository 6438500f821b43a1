#include "geometry/empty_spaces.h"

#include "meshgen/meshgen.h"
#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

Chart lShape() { return meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::LShape)).charts[0]; }

} // namespace

TEST(FindEmptySpaces, LShapeGivesItsMissingQuadrantAsOneSpace)
{
    for (double resolution : {1.0, 0.25}) {
        std::vector<EmptySpace> spaces;
        UVBox box;
        findEmptySpaces({lShape()}, spaces, 0.01, resolution, &box);
        ASSERT_FALSE(spaces.empty());
        EXPECT_EQ(std::make_pair(box.minU, box.maxV), std::make_pair(0.0, 1.0));
        // The quadrant, less the cells its edges on the grid lines touch; the rest lies inside it.
        const EmptySpace& q = spaces[0];
        EXPECT_NEAR(q.minU, 0.5, 2 / (1024.0 * resolution));
        EXPECT_NEAR(q.minV, 0.5, 2 / (1024.0 * resolution));
        EXPECT_EQ(std::make_pair(q.maxU, q.maxV), std::make_pair(1.0, 1.0));
        for (size_t i = 1; i < spaces.size(); ++i) {
            EXPECT_TRUE(spaces[i].minU >= q.minU && spaces[i].maxU <= q.maxU && spaces[i].minV >= q.minV && spaces[i].maxV <= q.maxV);
            EXPECT_LE(spaces[i].area(), 0.1 * q.area());
        }
    }
    // The shorter side must lie strictly above the minimum side.
    std::vector<EmptySpace> spaces;
    findEmptySpaces({lShape()}, spaces, 0.0, 1.0, nullptr);
    const EmptySpace quadrant = spaces[0];
    const double side = std::min(quadrant.width(), quadrant.height());
    spaces.clear();
    findEmptySpaces({lShape()}, spaces, side, 1.0, nullptr);
    for (const EmptySpace& s : spaces)
        EXPECT_GT(std::min(s.width(), s.height()), side);
    spaces.clear();
    findEmptySpaces({lShape()}, spaces, std::nextafter(side, 0.0), 1.0, nullptr);
    ASSERT_FALSE(spaces.empty());
    EXPECT_DOUBLE_EQ(spaces[0].area(), quadrant.area());
    // Results are appended, never beyond eight.
    spaces.assign(9, EmptySpace{0, 0, 1, 1});
    findEmptySpaces({lShape()}, spaces, 0.0, 1.0, nullptr);
    EXPECT_EQ(spaces.size(), 8u);
}

TEST(FindEmptySpaces, MoreThanEightSpacesKeepsTheEightLargest)
{
    // A comb: a bar along the bottom and teeth of height 5 with 12 gaps of distinct widths.
    std::vector<double> gaps;
    ChartList charts{packtest::gridChart(1, 1, 0.0, 0.0, 0.5, 5.0)};
    double u = 0.5;
    for (int i = 0; i < 12; ++i) {
        gaps.push_back(0.3 + 0.1 * ((i * 5) % 12));
        u += gaps.back();
        charts.push_back(packtest::gridChart(1, 1, u, 0.0, 0.5, 5.0));
        u += 0.5;
    }
    charts.push_back(packtest::gridChart(1, 1, 0.0, 0.0, u, 1.0));
    std::vector<EmptySpace> spaces;
    findEmptySpaces(charts, spaces, 0.1, 1.0, nullptr);
    ASSERT_EQ(spaces.size(), 8u);
    const double cell = u / 1024.0;
    std::sort(gaps.rbegin(), gaps.rend());
    for (size_t i = 0; i < spaces.size(); ++i) {
        EXPECT_NEAR(spaces[i].width(), gaps[i], 3 * cell) << i;
        EXPECT_NEAR(spaces[i].maxV, 5.0, 1e-9);
    }
}

TEST(SelectEmptySpaces, LargestFirstPruningAboveOneTenthOfAKeptBox)
{
    const EmptySpace r{0, 0, 10, 1}, a{0, 0, 1, 1}, b{5, 0, 6, 1}, c{3, 0, 4, 1};
    const EmptySpace big{0, 0, 4, 4}, middle{2.5, 2.5, 4.5, 4.5}, small{3.8, 3.8, 4.8, 4.8};
    struct Case { std::vector<EmptySpace> in; size_t limit; std::vector<double> keptMinU; };
    const std::vector<Case> cases = {
        {{EmptySpace{9, 0, 11, 1}, r}, 8, {0, 9}},          // shares exactly a tenth: kept
        {{r, EmptySpace{8.9, 0, 10.9, 1}}, 8, {0}},         // more than a tenth: pruned
        {{r, EmptySpace{10, 0, 12, 1}}, 8, {0, 10}},        // touching
        {{a, b, c}, 8, {0, 5, 3}},                          // equal areas keep their order
        {{a, b, c}, 2, {0, 5}},
        {{small, middle, big}, 8, {0, 3.8}},                // a pruned box prunes nothing
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<double> got;
        for (const EmptySpace& s : selectEmptySpaces(cases[i].in, cases[i].limit))
            got.push_back(s.minU);
        EXPECT_EQ(got, cases[i].keptMinU) << i;
    }
}

TEST(FindEmptySpaces, DegenerateInputGivesNoSpaces)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[0] = std::numeric_limits<double>::infinity();
    for (const ChartList& charts : {ChartList{}, ChartList{packtest::gridChart(2, 1, 0, 0, 1, 0), Chart()}, ChartList{infinite}}) {
        std::vector<EmptySpace> spaces;
        findEmptySpaces(charts, spaces, 0.01, 1.0, nullptr);
        EXPECT_TRUE(spaces.empty());
    }
    for (double resolution : {0.0, -1.0, nan, 1e-6}) {
        std::vector<EmptySpace> spaces;
        UVBox box;
        findEmptySpaces({lShape()}, spaces, 0.01, resolution, &box);
        EXPECT_TRUE(spaces.empty()) << resolution;
        EXPECT_DOUBLE_EQ(box.maxU, 1.0); // the box is still reported
    }
    Chart withNaN = lShape();
    withNaN.uvCoords2D[2] = nan;
    std::vector<EmptySpace> spaces;
    findEmptySpaces({withNaN}, spaces, 0.01, 1.0, nullptr);
    for (const EmptySpace& s : spaces)
        EXPECT_TRUE(std::isfinite(s.area()));
}
