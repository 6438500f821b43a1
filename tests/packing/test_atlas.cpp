#include "packing/atlas.h"
#include "packing/pack_threads.h"
#include "packing/placement_memory.h"
#include "packing/row_probe.h"
#include "packing/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <functional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

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

TEST(Atlas, RowProbeNeverRulesOutABlockWhereTheRasterFits)
{
    // Blotchy rasters (rows of several runs, up to the widest probed) on a
    // half-filled atlas whose side is not a multiple of 64, every block of
    // every probed level against a cell-by-cell fit test.
    std::mt19937 rng(5);
    Atlas atlas(100, 100);
    for (uint32_t label = 0; label < 400; ++label) {
        const OrientationRaster o = makeRaster(1 + rng() % 4, 1 + rng() % 4, label, [](uint32_t, uint32_t) { return true; });
        stampRaster(atlas, o, label, int32_t(rng() % (100 - o.w)), int32_t(rng() % (100 - o.h)));
    }
    size_t ruledOut = 0, blocks = 0;
    for (int trial = 0; trial < 30; ++trial) {
        const uint32_t w = 1 + rng() % 48, h = 1 + rng() % 6, seed = rng();
        const OrientationRaster o = makeRaster(w, h, 0, [&](uint32_t x, uint32_t y) {
            return ((x * 7 + y * 3 + seed) % 9) > 2 || (x == 0 && y == 0);
        });
        const RowProbe probe(o);
        const auto fits = [&](int32_t px, int32_t py) {
            if (px + int32_t(w) > 100 || py + int32_t(h) > 100)
                return false;
            for (const auto& c : o.chartCells)
                if (atlas.label(px + c.first, py + c.second) != Atlas::EmptyMarker)
                    return false;
            return true;
        };
        for (int level = 0; level <= RowProbe::MaxLevel; ++level) {
            const int32_t f = int32_t(1) << level;
            for (int32_t by = 0; by < 100; by += f)
                for (int32_t bx = 0; bx < 100; bx += f) {
                    bool any = false;
                    for (int32_t d = 0; d < f * f && !any; ++d)
                        any = fits(bx + d % f, by + d / f);
                    const bool passes = probe.anyFits(atlas, bx, by, level);
                    ASSERT_TRUE(passes || !any) << trial << " level " << level << " at " << bx << "," << by;
                    ruledOut += !passes && !any;
                    blocks += !any;
                }
        }
    }
    EXPECT_GT(ruledOut, blocks / 2); // and it rules out most blocks where nothing fits
    // Too wide a raster has no probe: every block passes.
    Atlas full(100, 100);
    stampRaster(full, solid(99, 99, 1), 1, 0, 0);
    EXPECT_TRUE(RowProbe(solid(49, 2, 0)).anyFits(full, 0, 0, 4));
    EXPECT_FALSE(RowProbe(solid(48, 2, 0)).anyFits(full, 0, 0, 4));
}

TEST(Atlas, CostPruningNeverChangesThePlacement)
{
    // The exhaustive search tests fits cell by cell, the pruned one by rows
    // of bits: rasters wider than a word and an atlas side that is not a
    // multiple of one check the rows' word boundaries. A side of 128 has
    // levels above 4, whose blocks also rule their children out by cost.
    std::mt19937 rng(7);
    for (const auto& [ratio, side, widest] : {std::make_tuple(-1.0, 48, 7u), std::make_tuple(1.0, 48, 7u),
                                              std::make_tuple(-1.0, 100, 70u), std::make_tuple(-1.0, 128, 7u)}) {
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

TEST(Atlas, RememberedShapesPlaceAsASearchFromScratchDoes)
{
    // Charts drawn from a few shapes, some twice in one chart and square ones
    // that tie in distance, on atlases that fill up and grow; now and then a
    // raster is stamped from outside the search.
    std::vector<std::tuple<double, int32_t, uint32_t, uint32_t>> cases{
        {-1.0, 32, 3u, 1u}, {-1.0, 36, 10u, 2u}, {1.0, 32, 6u, 3u}, {-1.0, 40, 24u, 4u}};
    // Solid squares only: squares of different sides at one centre and
    // mirror-image positions tie in cost and distance. Seed 273 brings a full
    // tie between a remembered best and one found where stamps changed the
    // atlas (the only one in 3,000 seeds).
    for (uint32_t seed : {100u, 101u, 102u, 103u, 104u, 105u, 106u, 107u, 108u, 109u, 110u, 111u, 273u})
        cases.emplace_back(seed % 2 ? 1.0 : -1.0, 32, 0u, seed);
    size_t grown = 0;
    for (const auto& [ratio, side, shapes, seed] : cases) {
        AspectRatioGuard guard(ratio);
        std::mt19937 rng(seed);
        std::vector<OrientationRaster> pool;
        // Every other shape is the one before it turned a quarter: the two
        // tie in distance at mirror-image positions, as real orientations do.
        for (uint32_t i = 0; i < shapes; ++i) {
            const uint32_t w = 1 + rng() % 9, h = i % 3 == 0 ? w : 1 + rng() % 9, bits = rng();
            const auto cell = [&](uint32_t x, uint32_t y) {
                return i % 3 == 0 || ((bits >> ((x * 5 + y * 3) % 31)) & 1u) != 0 || (x == 0 && y == 0);
            };
            if (i % 2 == 1) {
                const OrientationRaster& before = pool.back();
                pool.push_back(makeRaster(before.h, before.w, 0, [&](uint32_t x, uint32_t y) {
                    return before.raster[size_t(x) * before.w + y] != Atlas::EmptyMarker;
                }));
            } else {
                pool.push_back(makeRaster(w, h, 0, cell));
            }
        }
        if (pool.empty())
            for (uint32_t w = 1; w <= 4; ++w)
                pool.push_back(solid(w, w, 0));
        const size_t kinds = pool.size();
        Atlas remembering(side, side), exhaustive(side, side);
        PlacementMemory memory;
        if (seed % 3 == 0) {
            // Two far corners first: charts then fill a wide free rectangle.
            for (Atlas* atlas : {&remembering, &exhaustive}) {
                stampRaster(*atlas, pool[0], 1000, 1, 1);
                stampRaster(*atlas, pool[0], 1001, side - 3 - int32_t(pool[0].w), side - 3 - int32_t(pool[0].h));
            }
        }
        for (uint32_t label = 0; label < 240; ++label) {
            if (label % 37 == 36) {
                const OrientationRaster& o = pool[rng() % kinds];
                const int32_t x = int32_t(rng() % uint32_t(remembering.widths[0] - o.w)),
                              y = int32_t(rng() % uint32_t(remembering.heights[0] - o.h));
                stampRaster(remembering, o, label, x, y);
                stampRaster(exhaustive, o, label, x, y);
                continue;
            }
            ChartOrientations chart;
            chart.label = label;
            // Neighbours in the pool, the first one twice now and then.
            const size_t first = rng() % kinds, count = 1 + rng() % 3, step = shapes == 0 ? 1 + rng() % 3 : 1;
            for (size_t k = 0; k < count; ++k)
                chart.orientations.push_back(pool[(first + k * step) % kinds]);
            if (rng() % 4 == 0)
                chart.orientations.push_back(pool[first]);
            ChartOrientations copy = chart;
            while (!tryPlaceChart(remembering, chart, memory))
                enlargeAtlas(remembering);
            while (!tryPlaceChart(exhaustive, copy, false))
                enlargeAtlas(exhaustive);
            ASSERT_EQ(std::make_tuple(chart.orientation, chart.x, chart.y), std::make_tuple(copy.orientation, copy.x, copy.y))
                << "seed " << seed << " chart " << label;
        }
        grown += remembering.widths[0] > side ? 1u : 0u;
        EXPECT_EQ(remembering.levels[0], exhaustive.levels[0]);
    }
    EXPECT_GE(grown, cases.size() / 2); // most atlases had to grow
}

namespace {

// Side lanes that share a chart's later orientations in every way they can
// come about: never, wholly before the caller starts its own (run inside
// offer()), and at the same time on another thread.
class RefusingLane : public SideLane {
public:
    bool offer(const std::function<void()>&) override { return false; }
    bool withdraw() override { return true; }
};

class EagerLane : public SideLane {
public:
    bool offer(const std::function<void()>& work) override
    {
        work();
        return true;
    }
    bool withdraw() override { return false; }
};

class ThreadLane : public SideLane {
public:
    bool offer(const std::function<void()>& work) override
    {
        thread_ = std::thread(work);
        return true;
    }
    bool withdraw() override
    {
        thread_.join();
        return false;
    }

private:
    std::thread thread_;
};

} // namespace

TEST(Atlas, SharedOrientationsPlaceAsASearchInOrderDoes)
{
    // Charts of four to twelve orientations drawn from a few shapes (some
    // twice, some a quarter turn of another, squares tying in distance) on
    // atlases that fill up and grow, their later orientations shared with
    // each kind of side lane; each chart must go where the exhaustive search
    // puts it.
    RefusingLane refusing;
    EagerLane eager;
    ThreadLane threaded;
    SideLane* const lanes[] = {&refusing, &eager, &threaded};
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        const AspectRatioGuard guard(seed % 3 == 0 ? 1.0 : -1.0);
        std::mt19937 rng(seed);
        std::vector<OrientationRaster> pool;
        for (uint32_t i = 0; i < 8; ++i) {
            const uint32_t w = 1 + rng() % 7, h = i % 3 == 0 ? w : 1 + rng() % 7, bits = rng();
            if (i % 2 == 1) {
                const OrientationRaster& before = pool.back();
                pool.push_back(makeRaster(before.h, before.w, 0, [&](uint32_t x, uint32_t y) {
                    return before.raster[size_t(x) * before.w + y] != Atlas::EmptyMarker;
                }));
            } else {
                pool.push_back(makeRaster(w, h, 0, [&](uint32_t x, uint32_t y) {
                    return i % 3 == 0 || ((bits >> ((x * 5 + y * 3) % 31)) & 1u) != 0 || (x == 0 && y == 0);
                }));
            }
        }
        for (SideLane* lane : lanes) {
            Atlas shared(40, 40), exhaustive(40, 40);
            PlacementMemory memory, sideMemory;
            for (uint32_t label = 0; label < 160; ++label) {
                ChartOrientations chart;
                chart.label = label;
                const size_t count = 4 + rng() % 9;
                for (size_t k = 0; k < count; ++k)
                    chart.orientations.push_back(pool[rng() % pool.size()]);
                ChartOrientations copy = chart;
                while (!tryPlaceChart(shared, chart, memory, sideMemory, *lane))
                    enlargeAtlas(shared);
                while (!tryPlaceChart(exhaustive, copy, false))
                    enlargeAtlas(exhaustive);
                ASSERT_EQ(std::make_tuple(chart.orientation, chart.x, chart.y),
                          std::make_tuple(copy.orientation, copy.x, copy.y))
                    << "seed " << seed << " lane " << (lane == &refusing ? "refusing" : lane == &eager ? "eager" : "thread")
                    << " chart " << label;
            }
            EXPECT_EQ(shared.levels[0], exhaustive.levels[0]);
        }
    }
}

TEST(Atlas, WhatIsRememberedOfAnAtlasNeverServesACopyOfIt)
{
    // The copy and the original each take one more stamp, in different
    // places: both have made as many stamps, and a memory of the original
    // must not take the copy's stamp for the original's.
    Atlas original(32, 32);
    stampRaster(original, solid(2, 2, 0), 0, 0, 0);
    stampRaster(original, solid(2, 2, 1), 1, 29, 29);
    Atlas copy = original;
    const OrientationRaster shape = solid(3, 3, 2);
    stampRaster(original, solid(3, 3, 2), 2, 3, 0);
    PlacementMemory memory;
    ChartOrientations first = single(shape, 3);
    ASSERT_TRUE(tryPlaceChart(original, first, memory));
    stampRaster(copy, solid(3, 3, 2), 2, 0, 3);
    ChartOrientations remembered = single(shape, 3), fresh = single(shape, 3);
    Atlas reference = copy;
    ASSERT_TRUE(tryPlaceChart(copy, remembered, memory));
    ASSERT_TRUE(tryPlaceChart(reference, fresh, false));
    EXPECT_EQ(std::make_pair(remembered.x, remembered.y), std::make_pair(fresh.x, fresh.y));
}
