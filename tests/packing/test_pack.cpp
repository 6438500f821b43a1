#include "packing/compaction.h"
#include "packing/orientation_cache.h"
#include "packing/pack.h"
#include "packing/pack_threads.h"

#include "geometry/efficiency.h"
#include "packing/settings.h"
#include "meshgen/meshgen.h"
#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

Chart withVertexBase(Chart c, uint32_t base)
{
    for (uint32_t& v : c.triIndicesPos)
        v += base;
    return c;
}

double packQuietly(ChartList& charts, bool mirroring, Atlas& atlas, std::string* log = nullptr)
{
    testing::internal::CaptureStdout();
    const double efficiency = packCharts(charts, iuv::DoubleVector(), mirroring, atlas);
    const std::string text = testing::internal::GetCapturedStdout();
    if (log)
        *log = text;
    return efficiency;
}

// Charts move rigidly to the origin without overlapping, mirrored only when allowed.
// Charts are identified by their first 3D vertex.
void expectValidPacking(const ChartList& before, const ChartList& after, double efficiency, bool mirroring)
{
    ASSERT_EQ(before.size(), after.size());
    EXPECT_GT(efficiency, 0.0);
    const UVBox box = chartListUVBounds(after);
    const double size = std::max(box.width(), box.height());
    EXPECT_NEAR(box.minU, 0.0, 1e-12 * size);
    EXPECT_NEAR(box.minV, 0.0, 1e-12 * size);
    const packtest::OverlapReport overlaps = packtest::findChartOverlaps(after, 1e-9 * size * size);
    EXPECT_EQ(overlaps.overlappingPairs, 0u) << "largest " << overlaps.largest;
    std::map<uint32_t, const Chart*> original;
    for (const Chart& c : before)
        original[c.triIndicesPos[0]] = &c;
    for (const Chart& c : after) {
        const Chart* o = original.at(c.triIndicesPos[0]);
        EXPECT_EQ(c.triIndicesUV, o->triIndicesUV);
        const double a = packtest::signedUVArea(c), b = packtest::signedUVArea(*o);
        EXPECT_NEAR(std::fabs(a), std::fabs(b), 1e-9 * size * size);
        if (!mirroring) {
            EXPECT_GT(a * b, 0.0);
        }
    }
}

} // namespace

TEST(PackCharts, SingleChartIsCentredInItsSmallestOrientationAndLargerChartsGoFirst)
{
    // A 4 x 1 rectangle turned by -45 degrees: the 45-degree orientation lays it flat.
    Chart c = packtest::gridChart(4, 1, 0, 0, 4.0, 1.0);
    for (size_t i = 0; i < c.uvCoords2D.size(); i += 2) {
        const double u = c.uvCoords2D[i], v = c.uvCoords2D[i + 1];
        c.uvCoords2D[i] = (u + v) / std::sqrt(2.0);
        c.uvCoords2D[i + 1] = (v - u) / std::sqrt(2.0);
    }
    ChartList charts{c};
    Atlas atlas(384, 384);
    std::string log;
    packQuietly(charts, true, atlas, &log);
    // Centred: as much free space on either side.
    const int32_t* r = atlas.occupiedRect;
    EXPECT_LE(std::abs((r[0] + r[2]) - 383), 1);
    EXPECT_LE(std::abs((r[1] + r[3]) - 383), 1);
    EXPECT_GT(r[2] - r[0], 3 * (r[3] - r[1]));
    const UVBox box = chartUVBounds(charts[0]);
    EXPECT_NEAR(box.minU, 0.0, 1e-12);
    EXPECT_NEAR(box.width(), 4.0, 1e-9);
    EXPECT_NEAR(box.height(), 1.0, 1e-9);
    EXPECT_GT(packtest::signedUVArea(charts[0]), 0.0);

    // An empty list prints nothing and leaves the atlas alone.
    const std::vector<uint32_t> before = atlas.levels[0];
    ChartList none;
    EXPECT_EQ(packQuietly(none, true, atlas, &log), 0.0);
    EXPECT_EQ(log, "");
    EXPECT_EQ(atlas.levels[0], before);

    // Largest area first, ties in order.
    ChartList three{packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 5, 5, 2, 2), packtest::gridChart(1, 1, 9, 9, 1, 1)};
    three[0].triIndicesPos = {10, 11, 12, 10, 12, 13};
    three[2].triIndicesPos = {20, 21, 22, 20, 22, 23};
    packQuietly(three, true, atlas);
    EXPECT_EQ(std::make_pair(three[1].triIndicesPos[0], three[2].triIndicesPos[0]), std::make_pair(10u, 20u));
}

TEST(PackCharts, DegenerateAndExtremeChartsNeitherCrashNorHang)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Chart unit = packtest::gridChart(1, 1, 0, 0, 1, 1);
    Chart point = packtest::gridChart(1, 1, 0, 0, 0, 0), segment = packtest::gridChart(3, 1, 0, 0, 2, 0);
    Chart noTriangles;
    noTriangles.uvCoords2D = {7.0, 8.0};
    Chart withNaN = packtest::gridChart(2, 2, 0, 0, 1, 1);
    withNaN.uvCoords2D[4] = nan;
    Chart huge = packtest::gridChart(1, 1, 1e200, 1e200, 1e199, 1e199);
    for (const ChartList& input : {ChartList{point}, ChartList{point, segment}, ChartList{noTriangles, unit},
                                   ChartList{withNaN, unit}, ChartList{huge, unit}}) {
        ChartList charts = input;
        Atlas atlas;
        const double efficiency = packQuietly(charts, false, atlas);
        EXPECT_TRUE(std::isfinite(efficiency) && efficiency >= 0.0);
        EXPECT_LE(atlas.widths[0], MaxAtlasSide);
    }
    ChartList bare{noTriangles, packtest::gridChart(1, 1, 3, 3, 1, 1)};
    Atlas atlas;
    packQuietly(bare, true, atlas);
    EXPECT_EQ(bare[1].uvCoords2D, noTriangles.uvCoords2D); // sorted behind, UVs kept

    // A strip a million times longer than wide: the raster size is bounded.
    ChartList longCharts{packtest::gridChart(8, 1, 0, 0, 1e6, 1), packtest::gridChart(1, 1, 0, 5, 1, 1)};
    longCharts[1].triIndicesPos = {100, 101, 102, 100, 102, 103};
    const ChartList before = longCharts;
    Atlas longAtlas;
    const double efficiency = packQuietly(longCharts, true, longAtlas);
    EXPECT_LE(longAtlas.widths[0], 4096);
    expectValidPacking(before, longCharts, efficiency, true);
}

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

TEST(OrientationFeed, HandsOutEveryBuildInOrderAndRethrowsAFailedOneInItsPlace)
{
    // With and without the helper; the builds take turns being slow so that
    // the caller both waits for the helper and builds ahead of it. Results
    // handed back are built into again: a build sees an earlier chart's
    // orientations or none, never one still handed out.
    for (bool helper : {false, true})
        for (size_t taken : {30, 40}) {
            std::vector<size_t> indices(40);
            for (size_t i = 0; i < indices.size(); ++i)
                indices[i] = 100 + i;
            OrientationFeed feed(indices, [](size_t i, ChartOrientations& c) {
                if (i == 117)
                    throw std::runtime_error("build failed");
                if (i % 3 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (!c.orientations.empty() && !(c.label >= 100 && c.label < i))
                    throw std::logic_error("built into a result still handed out");
                c.label = static_cast<uint32_t>(i);
                c.orientations.resize(2);
                c.orientations[1].raster.assign(100, c.label);
            }, helper);
            for (size_t i = 0; i < taken; ++i) {
                if (i == 17) {
                    EXPECT_THROW(feed.next(), std::runtime_error);
                    continue;
                }
                ChartOrientations c = feed.next();
                EXPECT_EQ(c.label, 100 + i) << helper;
                EXPECT_EQ(c.orientations.at(1).raster.at(99), 100 + i) << helper;
                if (i % 4 != 3)
                    feed.retire(std::move(c));
            }
            // The rest is never asked for: the feed must still stop cleanly.
        }
}

TEST(OrientationFeed, OfferedWorkRunsOnceOnTheHelperOrIsWithdrawnAndItsFailureComesBack)
{
    // While the helper builds (every third build slow) offered work is
    // mostly withdrawn unstarted; once every chart is built the helper takes
    // it. Either way it runs at most once, and withdraw() says which.
    std::vector<size_t> indices(24);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    const auto build = [](size_t i, ChartOrientations& c) {
        if (i % 3 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        c.label = static_cast<uint32_t>(i);
    };
    {
        OrientationFeed serial(indices, build, false);
        EXPECT_FALSE(serial.offer([] {}));
    }
    OrientationFeed feed(indices, build, true);
    const std::thread::id caller = std::this_thread::get_id();
    for (size_t i = 0; i < indices.size(); ++i) {
        EXPECT_EQ(feed.next().label, i);
        std::atomic<int> runs{0};
        std::thread::id ranOn;
        const std::function<void()> counted = [&] {
            ++runs;
            ranOn = std::this_thread::get_id();
        };
        ASSERT_TRUE(feed.offer(counted));
        EXPECT_FALSE(feed.offer(counted)); // one offer at a time
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        const bool withdrawn = feed.withdraw();
        EXPECT_EQ(runs.load(), withdrawn ? 0 : 1) << i;
        if (!withdrawn) {
            EXPECT_NE(ranOn, caller);
        }
    }
    // Every chart built: the waiting helper takes the work, and what it
    // throws reaches withdraw().
    std::atomic<bool> started{false};
    std::thread::id ranOn;
    const std::function<void()> work = [&] {
        ranOn = std::this_thread::get_id();
        started = true;
    };
    ASSERT_TRUE(feed.offer(work));
    while (!started)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    EXPECT_FALSE(feed.withdraw());
    EXPECT_NE(ranOn, caller);
    started = false;
    const std::function<void()> failing = [&] {
        started = true;
        throw std::runtime_error("side work failed");
    };
    ASSERT_TRUE(feed.offer(failing));
    while (!started)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    EXPECT_THROW(feed.withdraw(), std::runtime_error);
    EXPECT_GE(feed.helperSeconds(), 0.0);
    EXPECT_FALSE(feed.offer(failing)); // the helper has ended
}

TEST(PackThreads, TwoLanesRunEveryItemOnceAndRethrowAFailure)
{
    for (bool helper : {false, true}) {
        setPackingHelperThread(helper);
        std::vector<int> runs(200, 0);
        std::atomic<int> helperItems{0};
        forEachOnTwoLanes(runs.size(), [&](size_t i, int lane) {
            ++runs[i];
            if (lane == 1)
                ++helperItems;
            if (i % 7 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        });
        EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 200) << helper;
        if (!helper) {
            EXPECT_EQ(helperItems.load(), 0);
        }
        // A failure on either lane reaches the caller, after both have stopped.
        EXPECT_THROW(forEachOnTwoLanes(50, [](size_t i, int) {
            if (i == 20)
                throw std::runtime_error("failed");
        }), std::runtime_error);
    }
    setPackingHelperThread(std::thread::hardware_concurrency() > 1);
}

TEST(CompactCharts, MovesTheSameWithAndWithoutAHelperThread)
{
    const Model model = meshgen::randomChartLayout(80, 4000, 7);
    std::vector<ChartList> results;
    std::vector<double> efficiencies;
    for (bool helper : {false, true}) {
        setPackingHelperThread(helper);
        ChartList charts = model.charts;
        efficiencies.push_back(compactCharts(charts));
        results.push_back(charts);
    }
    setPackingHelperThread(std::thread::hardware_concurrency() > 1);
    EXPECT_EQ(efficiencies[0], efficiencies[1]);
    ASSERT_EQ(results[0].size(), results[1].size());
    size_t moved = 0;
    for (size_t c = 0; c < results[0].size(); ++c) {
        EXPECT_EQ(results[0][c].uvCoords2D, results[1][c].uvCoords2D) << "chart " << c;
        moved += results[0][c].uvCoords2D != model.charts[c].uvCoords2D;
    }
    EXPECT_GT(moved, 0u);
}

TEST(CompactCharts, ALayoutCompactsTheSameAfterOthers)
{
    // The grids of one compaction serve the next: nothing of a layout may
    // remain for another, of another raster size, on either lane.
    const Model first = meshgen::randomChartLayout(60, 3000, 5);
    ChartList wide{packtest::gridChart(4, 1, 0, 0, 9.0, 0.6), withVertexBase(packtest::gridChart(2, 2, 9.5, 0.2, 1.0, 1.0), 20)};
    for (bool helper : {false, true}) {
        setPackingHelperThread(helper);
        ChartList before = first.charts;
        const double efficiency = compactCharts(before);
        ChartList other = wide;
        compactCharts(other);
        ChartList again = first.charts;
        EXPECT_EQ(compactCharts(again), efficiency) << "helper " << helper;
        for (size_t c = 0; c < again.size(); ++c)
            EXPECT_EQ(again[c].uvCoords2D, before[c].uvCoords2D) << "helper " << helper << ", chart " << c;
    }
    setPackingHelperThread(std::thread::hardware_concurrency() > 1);
}

TEST(OrientationCache, KeptRastersPackExactlyAsNewOnes)
{
    // Each row packs its layout once into an atlas without kept rasters and
    // once into one that keeps them across all rows (and into one whose
    // limit forces evictions); the layouts must come out bit for bit alike.
    const Model model = meshgen::randomChartLayout(40, 2400, 11);
    ChartList reordered(model.charts.rbegin(), model.charts.rend());
    ChartList oneMoved = model.charts;
    for (size_t i = 0; i < oneMoved[3].uvCoords2D.size(); i += 2)
        oneMoved[3].uvCoords2D[i] += 1e-9;
    ChartList fewer(model.charts.begin() + 5, model.charts.end());
    struct Row {
        const char* name;
        ChartList charts;
        double padding;
    };
    const std::vector<Row> rows{{"first packing", model.charts, 0.0},
                                {"the same charts again", model.charts, 0.0},
                                {"reordered, so other labels", reordered, 0.0},
                                {"one chart moved", oneMoved, 0.0},
                                {"fewer charts, another scale", fewer, 0.0},
                                {"with a gutter", model.charts, 0.02},
                                {"without it again", model.charts, 0.0}};
    Atlas keeping(384, 384), evicting(384, 384);
    keeping.orientationCache = std::make_shared<OrientationCache>();
    evicting.orientationCache = std::make_shared<OrientationCache>(64 << 10);
    const double padding = atlasPadding;
    for (const Row& row : rows) {
        atlasPadding = row.padding;
        Atlas fresh(384, 384);
        ChartList expected = row.charts, kept = row.charts, evicted = row.charts;
        const double e = packQuietly(expected, true, fresh);
        EXPECT_EQ(packQuietly(kept, true, keeping), e) << row.name;
        EXPECT_EQ(packQuietly(evicted, true, evicting), e) << row.name;
        for (size_t c = 0; c < expected.size(); ++c) {
            EXPECT_EQ(kept[c].uvCoords2D, expected[c].uvCoords2D) << row.name << ", chart " << c;
            EXPECT_EQ(evicted[c].uvCoords2D, expected[c].uvCoords2D) << row.name << ", chart " << c;
        }
    }
    atlasPadding = padding;
    // The repeated, reordered and restored layouts found their charts kept,
    // the moved one all but one; the small cache stayed within its limit.
    EXPECT_GE(keeping.orientationCache->hits(), 4 * model.charts.size() - 1);
    EXPECT_LE(evicting.orientationCache->bytes(), size_t(64 << 10));
}

TEST(OrientationCache, FindsOnlyTheSameChartAndSettingsAndRelabels)
{
    Chart chart = packtest::gridChart(1, 1, 0.0, 0.0, 1.0, 1.0);
    ChartOrientations built;
    built.label = 3;
    built.orientations.resize(2);
    built.orientations[1].raster = {3, Atlas::EmptyMarker, 3};
    OrientationCache cache;
    cache.keep(chart, 2.5, 1, 16, built);
    ChartOrientations out;
    ASSERT_TRUE(cache.find(chart, 2.5, 1, 16, 9, out));
    EXPECT_EQ(out.label, 9u);
    EXPECT_EQ(out.orientations[1].raster, (std::vector<uint32_t>{9, Atlas::EmptyMarker, 9}));
    Chart signedZero = chart;
    for (double& v : signedZero.uvCoords2D)
        if (v == 0.0)
            v = -0.0; // equal as numbers, not as bits: rotated, it may round otherwise
    Chart moreTriangles = chart;
    moreTriangles.triIndicesUV.push_back(0);
    EXPECT_FALSE(cache.find(chart, std::nextafter(2.5, 3.0), 1, 16, 3, out));
    EXPECT_FALSE(cache.find(chart, 2.5, 0, 16, 3, out));
    EXPECT_FALSE(cache.find(chart, 2.5, 1, 8, 3, out));
    EXPECT_FALSE(cache.find(signedZero, 2.5, 1, 16, 3, out));
    EXPECT_FALSE(cache.find(moreTriangles, 2.5, 1, 16, 3, out));
    EXPECT_EQ(cache.hits(), 1u);
    EXPECT_EQ(cache.misses(), 5u);
}
