#include "geometry/efficiency.h"
#include "geometry/empty_spaces.h"

#include "geometry/raster.h"
#include "meshgen/meshgen.h"
#include "support/chart_layouts.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

Chart lShape() { return meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::LShape)).charts[0]; }

// The empty-space search written out plainly: the run table row by row, the
// seeds column by column, each rectangle grown one row at a time.
std::vector<EmptySpace> referenceSpaces(const ChartList& charts, int32_t n, double minSide)
{
    UVBox box;
    for (const Chart& chart : charts)
        box.include(chartUVBounds(chart));
    std::vector<uint8_t> grid(size_t(n) * n, OccupancyEmpty);
    for (const Chart& chart : charts)
        for (size_t t = 0; t + 2 < chart.triIndicesUV.size(); t += 3) {
            Point2D p[3];
            for (int i = 0; i < 3; ++i) {
                const size_t k = chart.triIndicesUV[t + i];
                p[i] = {(chart.uvCoords2D[2 * k] - box.minU) / box.width(),
                        (chart.uvCoords2D[2 * k + 1] - box.minV) / box.height()};
            }
            drawOccupancyTriangle(grid, n, p[0], p[1], p[2]);
        }
    const auto at = [&](int32_t c, int32_t r) { return grid[size_t(r) * n + c]; };
    std::vector<uint64_t> run(size_t(n) * n);
    for (int32_t r = 0; r < n; ++r) {
        uint64_t counter = 0;
        for (int32_t c = n - 1; c >= 0; --c) {
            run[size_t(r) * n + c] = counter;
            counter = at(c, r) == OccupancyCovered ? 0 : counter + 1;
        }
    }
    const double du = box.width() / n, dv = box.height() / n;
    std::vector<EmptySpace> found;
    for (int32_t c = 0; c < n; ++c)
        for (int32_t r = 0; r < n; ++r) {
            const uint8_t cell = at(c, r);
            if (cell == OccupancyCovered)
                continue;
            bool seed = c == 0 || c == n - 1 || r == 0 || r == n - 1;
            if (!seed) {
                const uint8_t L = at(c - 1, r), R = at(c + 1, r), D = at(c, r + 1), U = at(c, r - 1);
                seed = (L == D && L != cell) || (L == U && L != cell) || (R == D && R != cell) ||
                       (R == U && R != cell);
            }
            if (!seed)
                continue;
            const uint64_t k = run[size_t(r) * n + c];
            int32_t down = 0, up = 0;
            while (r + down + 1 < n && at(c, r + down + 1) == OccupancyEmpty && run[size_t(r + down + 1) * n + c] >= k)
                ++down;
            while (r - up - 1 >= 0 && at(c, r - up - 1) == OccupancyEmpty && run[size_t(r - up - 1) * n + c] >= k)
                ++up;
            const EmptySpace s{box.minU + c * du, box.minV + (r - up) * dv, box.minU + (c + 1 + double(k)) * du,
                               box.minV + (r + 1 + down) * dv};
            if (std::min(s.width(), s.height()) > minSide)
                found.push_back(s);
        }
    return selectEmptySpaces(found, 8);
}

} // namespace

TEST(FindEmptySpaces, MatchesTheSearchWrittenOutPlainly)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 24; ++trial) {
        // Scattered triangles and rectangles: many seeds, bays and holes.
        ChartList charts;
        const int pieces = 1 + int(rng() % 12);
        for (int i = 0; i < pieces; ++i) {
            const double x = unit(rng), y = unit(rng);
            if (rng() % 2 == 0) {
                charts.push_back(packtest::gridChart(1 + int(rng() % 3), 1 + int(rng() % 3), x, y,
                                                     0.05 + 0.4 * unit(rng), 0.05 + 0.4 * unit(rng)));
            } else {
                const double x2 = x + 0.3 * unit(rng), y3 = y + 0.3 * unit(rng);
                charts.push_back(testsupport::makeChart({0, 1, 2}, {0, 1, 2}, {x, y, x2, y + 0.01, x, y3}));
            }
        }
        const int32_t n = trial % 6 == 0 ? 1024 : 64 + int(rng() % 200);
        const double minSide = trial % 3 == 0 ? 0.0 : 0.01;
        std::vector<EmptySpace> spaces;
        findEmptySpaces(charts, spaces, minSide, n / 1024.0, nullptr);
        const std::vector<EmptySpace> expected = referenceSpaces(charts, n, minSide);
        ASSERT_EQ(spaces.size(), expected.size()) << "trial " << trial;
        for (size_t i = 0; i < spaces.size(); ++i)
            EXPECT_TRUE(spaces[i].minU == expected[i].minU && spaces[i].minV == expected[i].minV &&
                        spaces[i].maxU == expected[i].maxU && spaces[i].maxV == expected[i].maxV)
                << "trial " << trial << " space " << i;
    }
    // The L shape's missing quadrant, less the cells its edges touch.
    std::vector<EmptySpace> spaces;
    UVBox box;
    findEmptySpaces({lShape()}, spaces, 0.01, 1.0, &box);
    ASSERT_FALSE(spaces.empty());
    EXPECT_EQ(std::make_pair(box.minU, box.maxV), std::make_pair(0.0, 1.0));
    EXPECT_NEAR(spaces[0].minU, 0.5, 2 / 1024.0);
    EXPECT_EQ(std::make_pair(spaces[0].maxU, spaces[0].maxV), std::make_pair(1.0, 1.0));
    // Results are appended, never beyond eight.
    spaces.assign(9, EmptySpace{0, 0, 1, 1});
    findEmptySpaces({lShape()}, spaces, 0.0, 1.0, nullptr);
    EXPECT_EQ(spaces.size(), 8u);
}

TEST(SelectEmptySpaces, LargestFirstPruningAboveOneTenthOfAKeptBox)
{
    const EmptySpace r{0, 0, 10, 1}, big{0, 0, 4, 4}, middle{2.5, 2.5, 4.5, 4.5}, small{3.8, 3.8, 4.8, 4.8};
    struct Case { std::vector<EmptySpace> in; std::vector<double> keptMinU; };
    const std::vector<Case> cases = {
        {{EmptySpace{9, 0, 11, 1}, r}, {0, 9}},  // shares exactly a tenth: kept
        {{r, EmptySpace{8.9, 0, 10.9, 1}}, {0}}, // more than a tenth: pruned
        {{small, middle, big}, {0, 3.8}},        // a pruned box prunes nothing
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<double> got;
        for (const EmptySpace& s : selectEmptySpaces(cases[i].in, 8))
            got.push_back(s.minU);
        EXPECT_EQ(got, cases[i].keptMinU) << i;
    }
}

TEST(FindEmptySpaces, NonFiniteInputOrResolutionGivesNoSpaces)
{
    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[0] = std::numeric_limits<double>::infinity();
    for (const auto& [charts, resolution] : std::vector<std::pair<ChartList, double>>{
             {{infinite}, 1.0}, {{}, 1.0}, {{lShape()}, std::numeric_limits<double>::quiet_NaN()}, {{lShape()}, -1.0}}) {
        std::vector<EmptySpace> spaces;
        findEmptySpaces(charts, spaces, 0.01, resolution, nullptr);
        EXPECT_TRUE(spaces.empty());
    }
}

TEST(AtlasPackingEfficiency, CoveredCellsOverTheLayoutExtent)
{
    // Two unit squares meeting at a corner cover half their box; a layout without extent covers nothing.
    const double half = atlasPackingEfficiency({packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 1, 1, 1, 1)});
    EXPECT_TRUE(half >= 49.9 && half <= 50.2) << half;
    EXPECT_EQ(atlasPackingEfficiency({packtest::gridChart(1, 1, 1, 1, 0, 0)}), 0.0);
    EXPECT_EQ(atlasPackingEfficiency({}), 0.0);
}
