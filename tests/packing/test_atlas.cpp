#include "packing/atlas.h"
#include "packing/settings.h"

#include <gtest/gtest.h>

#include <cmath>
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

// Every level-L cell holds the number of free level-0 cells in its block,
// the level's block sums match the free cells counted one by one, and the
// occupancy bits are the labelled cells.
void expectConsistentCounts(const Atlas& atlas)
{
    for (int32_t y = 0; y < atlas.heights[0]; ++y)
        for (int32_t x = 0; x < atlas.widths[0]; ++x)
            ASSERT_EQ(atlas.occupancyFrom(x, y) & 1u, atlas.label(x, y) != Atlas::EmptyMarker ? 1u : 0u) << x << "," << y;
    for (size_t level = 1; level < atlas.levels.size(); ++level) {
        const int32_t f = atlas.blockFactor(level);
        ASSERT_EQ(atlas.widths[level] * f, atlas.widths[0]) << level;
        ASSERT_EQ(atlas.heights[level] * f, atlas.heights[0]) << level;
        std::vector<uint32_t> below(size_t(atlas.widths[level]), 0); // free cells of rows <= y, columns <= x
        for (int32_t y = 0; y < atlas.heights[level]; ++y) {
            uint32_t row = 0;
            for (int32_t x = 0; x < atlas.widths[level]; ++x) {
                uint32_t free = 0;
                for (int32_t yy = y * f; yy < (y + 1) * f; ++yy)
                    for (int32_t xx = x * f; xx < (x + 1) * f; ++xx)
                        free += atlas.label(xx, yy) == Atlas::EmptyMarker ? 1 : 0;
                ASSERT_EQ(atlas.levels[level][size_t(y) * atlas.widths[level] + x], free) << level << " " << x << "," << y;
                below[size_t(x)] += (row += free);
                ASSERT_EQ(std::make_pair(atlas.blockSum(level, x, y, x, y), atlas.blockSum(level, 0, 0, x, y)),
                          std::make_pair(free, below[size_t(x)])) << level << " " << x << "," << y;
            }
        }
    }
}

} // namespace

TEST(Atlas, PyramidCountsStayConsistentThroughStampResetAndEnlarge)
{
    EXPECT_EQ(Atlas(384, 384).levels.size(), 8u);
    EXPECT_EQ(Atlas(100, 60).levels.size(), 3u);
    for (const auto& size : {std::pair<int32_t, int32_t>{100, 60}, {7, 7}, {1, 1}, {0, -3}, {64, 1000}}) {
        const Atlas atlas(size.first, size.second);
        EXPECT_GE(atlas.widths[0], 1);
        expectConsistentCounts(atlas);
    }
    Atlas atlas(32, 32);
    stampRaster(atlas, makeRaster(5, 4, 3, [](uint32_t x, uint32_t y) { return x == 0 || y == 0 || x == 4 || y == 3; }), 3, 6, 9);
    expectConsistentCounts(atlas);
    EXPECT_EQ(atlas.label(6, 9), 3u);
    EXPECT_EQ(atlas.label(7, 10), Atlas::EmptyMarker); // the ring's hole stays free
    EXPECT_EQ(std::vector<int32_t>(atlas.occupiedRect, atlas.occupiedRect + 4), (std::vector<int32_t>{6, 9, 10, 12}));
    stampRaster(atlas, solid(4, 4, 5), 5, 30, 30); // the cells past the edge are left out
    EXPECT_EQ(atlas.label(31, 31), 5u);
    expectConsistentCounts(atlas);
    const std::vector<uint32_t> before = atlas.levels[0];
    enlargeAtlas(atlas);
    EXPECT_EQ(atlas.widths[0], 64);
    expectConsistentCounts(atlas);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x)
            ASSERT_EQ(atlas.label(x, y), before[size_t(y) * 32 + x]);
    resetAtlas(atlas);
    EXPECT_TRUE(atlas.isEmpty());
    EXPECT_EQ(atlas.widths[0], 64); // an enlarged atlas stays enlarged
    expectConsistentCounts(atlas);
    Atlas largest(MaxAtlasSide, 2);
    EXPECT_THROW(enlargeAtlas(largest), std::length_error);
}

TEST(Atlas, PlacementRules)
{
    // Empty atlas: the smallest orientation (the first of equal ones) goes to the centre.
    Atlas big(384, 384);
    ChartOrientations chart;
    chart.label = 0;
    for (auto wh : {std::pair<uint32_t, uint32_t>{40, 30}, {20, 50}, {50, 20}})
        chart.orientations.push_back(solid(wh.first, wh.second, 0));
    ASSERT_TRUE(tryPlaceChart(big, chart));
    EXPECT_EQ(std::make_tuple(chart.orientation, chart.x, chart.y), std::make_tuple(1, 182, 167));

    // Inside a frame the free cell nearest the origin wins, without growth.
    Atlas framed(64, 64);
    stampRaster(framed, makeRaster(20, 20, 0, [](uint32_t x, uint32_t y) { return x == 0 || y == 0 || x == 19 || y == 19; }), 0, 10, 10);
    ChartOrientations inside = single(solid(4, 4, 1), 1);
    ASSERT_TRUE(tryPlaceChart(framed, inside));
    EXPECT_EQ(std::make_pair(inside.x, inside.y), std::make_pair(11, 11));
    EXPECT_EQ(framed.occupiedRect[2], 29);

    // A raster must end before the last column and row, also in wholly free blocks.
    for (bool blocked : {false, true}) {
        Atlas half(8, 8);
        stampRaster(half, solid(4, 8, 0), 0, 0, 0);
        if (blocked) {
            stampRaster(half, solid(1, 1, 0), 0, 7, 3);
            stampRaster(half, solid(1, 1, 0), 0, 7, 7);
        }
        ChartOrientations wide = single(solid(4, 1, 2), 2), fits = single(solid(3, 3, 1), 1);
        ChartOrientations& placed = blocked ? fits : wide;
        if (blocked) { // no wholly free block: every candidate is tested at level 0
            EXPECT_FALSE(tryPlaceChart(half, wide));
        }
        ASSERT_TRUE(tryPlaceChart(half, placed));
        EXPECT_EQ(std::make_pair(placed.x, placed.y), std::make_pair(4, 0));
        expectConsistentCounts(half);
    }
    Atlas small(16, 16);
    ChartOrientations tooWide = single(solid(17, 2, 0), 0), none;
    EXPECT_FALSE(tryPlaceChart(small, tooWide));
    EXPECT_FALSE(tryPlaceChart(small, none));
    EXPECT_TRUE(small.isEmpty());
}

TEST(Atlas, CoresAreTheCellsUnderEveryPositionOfABlock)
{
    // Random blotchy rasters up to three words wide, against the definition.
    std::mt19937 rng(11);
    for (int trial = 0; trial < 40; ++trial) {
        const uint32_t w = 1 + rng() % 140, h = 1 + rng() % 40, seed = rng() % 7;
        const OrientationRaster o = makeRaster(w, h, 3, [&](uint32_t x, uint32_t y) {
            return ((x / (1 + seed)) * 5 + (y / (1 + seed)) * 3 + trial) % 7 != 0;
        });
        const auto chart = [&](int64_t x, int64_t y) { return x >= 0 && y >= 0 && o.raster[size_t(y) * w + x] == 3; };
        ASSERT_EQ(o.cores.size(), o.coreFirstRow.size());
        for (size_t level = 1; level <= o.cores.size() + 1; ++level) {
            const int64_t f = int64_t(1) << level;
            bool any = false;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    bool under = true;
                    for (int64_t d = 0; d < f * f && under; ++d)
                        under = chart(int64_t(x) - d % f, int64_t(y) - d / f);
                    any = any || under;
                    if (level > o.cores.size())
                        continue;
                    const uint32_t first = o.coreFirstRow[level - 1];
                    const bool bit = y >= first &&
                                     (o.cores[level - 1][(y - first) * o.rowWords + x / 64] >> (x % 64)) & 1u;
                    ASSERT_EQ(bit, under) << trial << " level " << level << " at " << x << "," << y;
                }
            // The list stops at the first empty core (or a block of 64).
            EXPECT_EQ(any, level <= o.cores.size() || (level >= 7 && any)) << trial << " level " << level;
        }
    }
}

TEST(Atlas, CostPruningNeverChangesThePlacement)
{
    // The exhaustive search tests fits cell by cell, the pruned one by rows
    // of bits: rasters wider than a word and an atlas side that is not a
    // multiple of one check the rows' word boundaries.
    std::mt19937 rng(7);
    for (const auto& [ratio, side, widest] : {std::make_tuple(-1.0, 48, 7u), std::make_tuple(1.0, 48, 7u),
                                              std::make_tuple(-1.0, 100, 70u)}) {
        AspectRatioGuard guard(ratio);
        Atlas pruned(side, side), exhaustive(side, side);
        for (uint32_t label = 0; label < 120; ++label) {
            ChartOrientations chart;
            chart.label = label;
            for (int k = 0; k < 4; ++k) {
                // Square rasters make mirror-image positions tie in distance.
                const uint32_t w = 1 + rng() % widest, h = k % 2 ? w : 1 + rng() % 7, seed = rng();
                // The wide charts have their cells at both ends of the row.
                chart.orientations.push_back(makeRaster(w, h, label, [&](uint32_t x, uint32_t y) {
                    return (((x * 7 + y * 13 + seed) % 5) != 0 && (widest < 64 || x < 2 || x + 8 >= w)) ||
                           (x == 0 && y == 0);
                }));
            }
            ChartOrientations copy = chart;
            while (!tryPlaceChart(pruned, chart))
                enlargeAtlas(pruned);
            while (!tryPlaceChart(exhaustive, copy, false))
                enlargeAtlas(exhaustive);
            ASSERT_EQ(std::make_tuple(chart.orientation, chart.x, chart.y), std::make_tuple(copy.orientation, copy.x, copy.y)) << label;
        }
        EXPECT_EQ(pruned.levels[0], exhaustive.levels[0]);
        expectConsistentCounts(pruned);
    }
    // Ratios without a shape measure growth as if there were none.
    Atlas atlas(64, 64);
    stampRaster(atlas, solid(10, 4, 0), 0, 10, 10);
    for (double ratio : {0.0, std::nan(""), HUGE_VAL, 1e-300}) {
        AspectRatioGuard odd(ratio);
        EXPECT_GE(growthCost(atlas, 30, 30, 5, 5), 0) << ratio;
    }
}
