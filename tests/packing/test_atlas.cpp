#include "packing/atlas.h"

#include "packing/settings.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace {

// Restores the process-wide aspect setting when a test ends.
struct AspectRatioGuard {
    explicit AspectRatioGuard(double ratio) { atlasAspectRatio = ratio; }
    ~AspectRatioGuard() { atlasAspectRatio = -1.0; }
};

// A w x h raster whose cells are the label where mask(x, y) holds.
template <typename Mask>
OrientationRaster makeRaster(uint32_t w, uint32_t h, uint32_t label, Mask mask)
{
    OrientationRaster o;
    o.w = w;
    o.h = h;
    o.raster.assign(size_t(w) * h, Atlas::EmptyMarker);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if (mask(x, y)) {
                o.raster[size_t(y) * w + x] = label;
                ++o.filled;
            }
    collectRasterCells(o, label);
    return o;
}

OrientationRaster solid(uint32_t w, uint32_t h, uint32_t label)
{
    return makeRaster(w, h, label, [](uint32_t, uint32_t) { return true; });
}

ChartOrientations single(OrientationRaster o, uint32_t label)
{
    ChartOrientations c;
    c.label = label;
    c.orientations.push_back(std::move(o));
    return c;
}

// Every level-L cell holds the number of free level-0 cells in its block.
void expectConsistentCounts(const Atlas& atlas)
{
    for (size_t level = 1; level < atlas.levels.size(); ++level) {
        const int32_t f = atlas.blockFactor(level);
        ASSERT_EQ(atlas.widths[level] * f, atlas.widths[0]) << level;
        ASSERT_EQ(atlas.heights[level] * f, atlas.heights[0]) << level;
        for (int32_t y = 0; y < atlas.heights[level]; ++y)
            for (int32_t x = 0; x < atlas.widths[level]; ++x) {
                uint32_t free = 0;
                for (int32_t yy = y * f; yy < (y + 1) * f; ++yy)
                    for (int32_t xx = x * f; xx < (x + 1) * f; ++xx)
                        free += atlas.label(xx, yy) == Atlas::EmptyMarker ? 1 : 0;
                ASSERT_EQ(atlas.levels[level][size_t(y) * atlas.widths[level] + x], free)
                    << "level " << level << " cell " << x << "," << y;
            }
    }
}

// An atlas of the given size, enlarged `times` times, whose whole level 0 is
// occupied except cell (holeX, holeY).
Atlas atlasWithOneHole(int32_t side, int enlargements, int32_t holeX, int32_t holeY)
{
    Atlas atlas(side, side);
    for (int i = 0; i < enlargements; ++i)
        enlargeAtlas(atlas);
    const uint32_t w = static_cast<uint32_t>(atlas.widths[0]);
    const uint32_t h = static_cast<uint32_t>(atlas.heights[0]);
    stampRaster(atlas,
                makeRaster(w, h, 0, [&](uint32_t x, uint32_t y) {
                    return int32_t(x) != holeX || int32_t(y) != holeY;
                }),
                0, 0, 0);
    return atlas;
}

} // namespace

TEST(Atlas, PyramidOf384HasEightLevels)
{
    const Atlas atlas(384, 384);
    ASSERT_EQ(atlas.levels.size(), 8u);
    const int32_t widths[] = {384, 192, 96, 48, 24, 12, 6, 3};
    for (size_t level = 0; level < 8; ++level) {
        EXPECT_EQ(atlas.widths[level], widths[level]);
        EXPECT_EQ(atlas.heights[level], widths[level]);
        EXPECT_EQ(atlas.blockFactor(level), 1 << level);
        const uint32_t initial = level == 0 ? Atlas::EmptyMarker : uint32_t(1) << (2 * level);
        EXPECT_EQ(atlas.levels[level].front(), initial);
        EXPECT_EQ(atlas.levels[level].size(), size_t(widths[level]) * widths[level]);
    }
    EXPECT_TRUE(atlas.isEmpty());
    EXPECT_EQ(atlas.occupiedRect[2], -2147483647);
}

TEST(Atlas, EveryLevelHalvesExactlyForAnySize)
{
    for (const auto& size : {std::pair<int32_t, int32_t>{100, 60}, {7, 7}, {1, 1}, {0, -3}, {64, 1000}}) {
        const Atlas atlas(size.first, size.second);
        ASSERT_GE(atlas.levels.size(), 1u);
        EXPECT_GE(atlas.widths[0], 1);
        expectConsistentCounts(atlas);
    }
    EXPECT_EQ(Atlas(100, 60).levels.size(), 3u); // 100, 50, 25 x 60, 30, 15
}

TEST(Atlas, StampingCountsCellsOffAndGrowsTheRectangle)
{
    Atlas atlas(32, 32);
    const OrientationRaster ring = makeRaster(5, 4, 3, [](uint32_t x, uint32_t y) {
        return x == 0 || y == 0 || x == 4 || y == 3;
    });
    stampRaster(atlas, ring, 3, 6, 9);
    expectConsistentCounts(atlas);
    EXPECT_EQ(atlas.label(6, 9), 3u);
    EXPECT_EQ(atlas.label(7, 10), Atlas::EmptyMarker); // the ring's hole stays free
    EXPECT_EQ(atlas.occupiedRect[0], 6);
    EXPECT_EQ(atlas.occupiedRect[1], 9);
    EXPECT_EQ(atlas.occupiedRect[2], 10);
    EXPECT_EQ(atlas.occupiedRect[3], 12);
    resetAtlas(atlas);
    EXPECT_TRUE(atlas.isEmpty());
    EXPECT_EQ(atlas.label(6, 9), Atlas::EmptyMarker);
    expectConsistentCounts(atlas);
}

TEST(GrowthCost, FreeShapeMeasuresTheRectangleArea)
{
    Atlas atlas(64, 64);
    EXPECT_EQ(growthCost(atlas, 3, 4, 5, 6), 30); // empty atlas: w * h
    stampRaster(atlas, solid(10, 4, 0), 0, 10, 10); // occupied 10 x 4
    EXPECT_EQ(growthCost(atlas, 12, 11, 3, 2), 0);
    EXPECT_EQ(growthCost(atlas, 20, 10, 5, 4), 5 * 4);   // 15 x 4 - 10 x 4
    EXPECT_EQ(growthCost(atlas, 10, 14, 10, 6), 10 * 6); // 10 x 10 - 10 x 4
}

TEST(GrowthCost, SquareMeasuresTheEnclosingSquare)
{
    AspectRatioGuard square(1.0);
    Atlas atlas(64, 64);
    stampRaster(atlas, solid(10, 4, 0), 0, 10, 10); // occupied 10 x 4, square 10 x 10
    // Widening the short side up to the long side costs nothing ...
    EXPECT_EQ(growthCost(atlas, 10, 14, 10, 6), 0);
    EXPECT_EQ(growthCost(atlas, 12, 8, 2, 2), 0);
    // ... lengthening the long side costs the growth of the square.
    EXPECT_EQ(growthCost(atlas, 20, 10, 2, 4), 12 * 12 - 10 * 10);
    EXPECT_GT(growthCost(atlas, 20, 10, 2, 4), growthCost(atlas, 10, 14, 10, 6));
}

TEST(GrowthCost, OtherRatiosAndNonsenseRatios)
{
    Atlas atlas(64, 64);
    stampRaster(atlas, solid(10, 4, 0), 0, 0, 0);
    {
        AspectRatioGuard twoToOne(2.0);
        EXPECT_EQ(growthCost(atlas, 0, 4, 10, 1), 0);               // short side 5 = 10 / 2
        EXPECT_EQ(growthCost(atlas, 0, 4, 10, 2), 10 * 6 - 10 * 5); // 6 exceeds 10 / 2
    }
    // Zero, NaN, infinite and tiny ratios never overflow or divide by zero.
    for (double ratio : {0.0, std::nan(""), HUGE_VAL, 1e-300}) {
        AspectRatioGuard odd(ratio);
        const int32_t cost = growthCost(atlas, 30, 30, 5, 5);
        EXPECT_GE(cost, 0) << ratio;
    }
}

TEST(TryPlaceChart, EmptyAtlasCentresTheSmallestOrientation)
{
    Atlas atlas(384, 384);
    ChartOrientations chart;
    chart.label = 0;
    chart.orientations.push_back(solid(40, 30, 0)); // 1200
    chart.orientations.push_back(solid(20, 50, 0)); // 1000
    chart.orientations.push_back(solid(50, 20, 0)); // 1000, later
    ASSERT_TRUE(tryPlaceChart(atlas, chart));
    EXPECT_EQ(chart.orientation, 1);
    EXPECT_EQ(chart.x, 192 - 10);
    EXPECT_EQ(chart.y, 192 - 25);
    expectConsistentCounts(atlas);

    Atlas small(16, 16);
    ChartOrientations tooWide = single(solid(17, 2, 0), 0);
    EXPECT_FALSE(tryPlaceChart(small, tooWide));
    EXPECT_TRUE(small.isEmpty());
    ChartOrientations none;
    EXPECT_FALSE(tryPlaceChart(small, none));
}

TEST(TryPlaceChart, InsideTheRectangleTheCellNearestTheOriginWins)
{
    Atlas atlas(64, 64);
    // A frame 20 x 20 at (10, 10) with a free inside of 18 x 18.
    stampRaster(atlas, makeRaster(20, 20, 0, [](uint32_t x, uint32_t y) {
                    return x == 0 || y == 0 || x == 19 || y == 19;
                }),
                0, 10, 10);
    ChartOrientations chart = single(solid(4, 4, 1), 1);
    ASSERT_TRUE(tryPlaceChart(atlas, chart));
    EXPECT_EQ(chart.x, 11);
    EXPECT_EQ(chart.y, 11);
    EXPECT_EQ(atlas.occupiedRect[2], 29); // no growth
    expectConsistentCounts(atlas);
}

TEST(TryPlaceChart, RasterMustEndBeforeTheLastColumnAndRow)
{
    // Left half full, and one cell in each quarter of the right half, so that
    // no block there is wholly free and every candidate is tested at level 0.
    Atlas atlas(8, 8);
    stampRaster(atlas, solid(4, 8, 0), 0, 0, 0);
    stampRaster(atlas, solid(1, 1, 0), 0, 7, 3);
    stampRaster(atlas, solid(1, 1, 0), 0, 7, 7);
    ChartOrientations tooWide = single(solid(4, 1, 2), 2); // 4 + 4 = 8 would reach the edge
    EXPECT_FALSE(tryPlaceChart(atlas, tooWide));
    ChartOrientations fits = single(solid(3, 3, 1), 1);
    ASSERT_TRUE(tryPlaceChart(atlas, fits));
    EXPECT_EQ(fits.x, 4);
    EXPECT_EQ(fits.y, 0);
}

TEST(TryPlaceChart, WhollyFreeBlockIsScoredAtItsCorner)
{
    // The right half is free: its top-level blocks are scored directly at
    // their corner cell, without the level-0 margin rule.
    Atlas atlas(8, 8);
    stampRaster(atlas, solid(4, 8, 0), 0, 0, 0);
    ChartOrientations wide = single(solid(4, 1, 2), 2);
    ASSERT_TRUE(tryPlaceChart(atlas, wide));
    EXPECT_EQ(wide.x, 4);
    EXPECT_EQ(wide.y, 0);
    expectConsistentCounts(atlas);
}

TEST(EnlargeAtlas, DoublesKeepsEarlierChartsAndAddsATopLevel)
{
    Atlas atlas(384, 384);
    ChartOrientations first = single(solid(100, 60, 0), 0);
    ASSERT_TRUE(tryPlaceChart(atlas, first));
    const std::vector<uint32_t> before = atlas.levels[0];
    const int32_t rectBefore[4] = {atlas.occupiedRect[0], atlas.occupiedRect[1],
                                   atlas.occupiedRect[2], atlas.occupiedRect[3]};

    ChartOrientations wide = single(solid(390, 10, 1), 1);
    EXPECT_FALSE(tryPlaceChart(atlas, wide));
    enlargeAtlas(atlas);
    ASSERT_EQ(atlas.levels.size(), 9u);
    EXPECT_EQ(atlas.widths[0], 768);
    EXPECT_EQ(atlas.widths[8], 3);
    EXPECT_EQ(atlas.blockFactor(8), 256);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(atlas.occupiedRect[i], rectBefore[i]);
    for (int32_t y = 0; y < 384; ++y)
        for (int32_t x = 0; x < 384; ++x)
            ASSERT_EQ(atlas.label(x, y), before[size_t(y) * 384 + x]) << x << "," << y;
    expectConsistentCounts(atlas);

    ASSERT_TRUE(tryPlaceChart(atlas, wide));
    EXPECT_LT(wide.x + 390, 768);
    expectConsistentCounts(atlas);
}

TEST(EnlargeAtlas, EveryLevelZeroCellStaysReachable)
{
    // Level 0 fully occupied but for one cell: a 1 x 1 chart must find it,
    // wherever it is (the raster must end before the last column and row).
    for (int enlargements = 1; enlargements <= 2; ++enlargements) {
        const int32_t side = 12 << enlargements;
        const int step = enlargements == 1 ? 1 : 3;
        for (int32_t y = 0; y < side - 1; y += step)
            for (int32_t x = 0; x < side - 1; x += step) {
                Atlas atlas = atlasWithOneHole(12, enlargements, x, y);
                ChartOrientations dot = single(solid(1, 1, 1), 1);
                ASSERT_TRUE(tryPlaceChart(atlas, dot)) << x << "," << y;
                ASSERT_EQ(dot.x, x);
                ASSERT_EQ(dot.y, y);
            }
    }
    // The full-size atlas once enlarged: corners, the seam of the old
    // quadrant and the far end.
    for (const auto& hole : {std::pair<int32_t, int32_t>{383, 383}, {384, 383}, {0, 766}, {766, 766}}) {
        Atlas atlas = atlasWithOneHole(384, 1, hole.first, hole.second);
        expectConsistentCounts(atlas);
        ChartOrientations dot = single(solid(1, 1, 1), 1);
        ASSERT_TRUE(tryPlaceChart(atlas, dot));
        EXPECT_EQ(dot.x, hole.first);
        EXPECT_EQ(dot.y, hole.second);
    }
}

TEST(EnlargeAtlas, StopsAtTheLargestSize)
{
    Atlas atlas(MaxAtlasSide, 2);
    EXPECT_THROW(enlargeAtlas(atlas), std::length_error);
    Atlas tiny(1, 1);
    for (int i = 0; i < 5; ++i)
        enlargeAtlas(tiny);
    EXPECT_EQ(tiny.widths[0], 32);
    expectConsistentCounts(tiny);
    resetAtlas(tiny);
    EXPECT_EQ(tiny.widths[0], 32); // an enlarged atlas stays enlarged
}

TEST(TryPlaceChart, CostPruningNeverChangesThePlacement)
{
    std::mt19937 rng(7);
    for (double ratio : {-1.0, 1.0}) {
        AspectRatioGuard guard(ratio);
        Atlas pruned(48, 48), exhaustive(48, 48);
        for (uint32_t label = 0; label < 120; ++label) {
            ChartOrientations chart;
            chart.label = label;
            for (int k = 0; k < 4; ++k) {
                // Square rasters make mirror-image positions tie in distance.
                const uint32_t w = 1 + rng() % 7, h = k % 2 ? w : 1 + rng() % 7;
                const uint32_t seed = rng();
                chart.orientations.push_back(makeRaster(w, h, label, [&](uint32_t x, uint32_t y) {
                    return ((x * 7 + y * 13 + seed) % 5) != 0 || (x == 0 && y == 0);
                }));
            }
            ChartOrientations copy = chart;
            while (!tryPlaceChart(pruned, chart))
                enlargeAtlas(pruned);
            while (!tryPlaceChart(exhaustive, copy, false))
                enlargeAtlas(exhaustive);
            ASSERT_EQ(chart.orientation, copy.orientation) << label;
            ASSERT_EQ(chart.x, copy.x) << label;
            ASSERT_EQ(chart.y, copy.y) << label;
        }
        EXPECT_EQ(pruned.levels[0], exhaustive.levels[0]);
        expectConsistentCounts(pruned);
    }
}
