#include "packing/pack.h"

#include "meshgen/meshgen.h"
#include "support/chart_layouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <sstream>

namespace {

// Packs with the console captured; returns the efficiency, the text in `log`.
double packQuietly(ChartList& charts, bool mirroring, Atlas& atlas, std::string* log = nullptr)
{
    testing::internal::CaptureStdout();
    const double efficiency = packCharts(charts, iuv::DoubleVector(), mirroring, atlas);
    const std::string text = testing::internal::GetCapturedStdout();
    if (log)
        *log = text;
    return efficiency;
}

// A w x h rectangle of quads rotated counter-clockwise by `angle` about the origin.
Chart rotatedRectangle(double w, double h, double angle)
{
    Chart c = packtest::gridChart(4, 1, 0, 0, w, h);
    const double cs = std::cos(angle), sn = std::sin(angle);
    for (size_t i = 0; i < c.uvCoords2D.size(); i += 2) {
        const double u = c.uvCoords2D[i], v = c.uvCoords2D[i + 1];
        c.uvCoords2D[i] = u * cs - v * sn;
        c.uvCoords2D[i + 1] = u * sn + v * cs;
    }
    return c;
}

// Charts are identified by their first 3D vertex (distinct in the layouts used).
std::map<uint32_t, const Chart*> byFirstVertex(const ChartList& charts)
{
    std::map<uint32_t, const Chart*> index;
    for (const Chart& c : charts)
        if (!c.triIndicesPos.empty())
            index[c.triIndicesPos[0]] = &c;
    return index;
}

void expectValidPacking(const ChartList& before, const ChartList& after, double efficiency)
{
    ASSERT_EQ(before.size(), after.size());
    EXPECT_GT(efficiency, 0.0);
    const UVBox box = chartListUVBounds(after);
    const double size = std::max(box.width(), box.height());
    EXPECT_NEAR(box.minU, 0.0, 1e-12 * size);
    EXPECT_NEAR(box.minV, 0.0, 1e-12 * size);
    const packtest::OverlapReport overlaps = packtest::findChartOverlaps(after, 1e-9 * size);
    EXPECT_EQ(overlaps.overlappingPairs, 0u) << "deepest " << overlaps.deepest;
    // Charts move rigidly: the triangles are untouched and the areas kept.
    const auto original = byFirstVertex(before);
    for (const Chart& c : after) {
        const Chart* o = original.at(c.triIndicesPos[0]);
        EXPECT_EQ(c.triIndicesUV, o->triIndicesUV);
        EXPECT_NEAR(std::fabs(packtest::signedUVArea(c)), std::fabs(packtest::signedUVArea(*o)),
                    1e-9 * size * size);
    }
}

} // namespace

TEST(PackCharts, EmptyListReturnsZeroAndLeavesTheAtlasAlone)
{
    Atlas atlas(384, 384);
    ChartList one{packtest::gridChart(1, 1, 0, 0, 1, 1)};
    packQuietly(one, true, atlas);
    const std::vector<uint32_t> before = atlas.levels[0];
    ChartList none;
    std::string log;
    EXPECT_EQ(packQuietly(none, true, atlas, &log), 0.0);
    EXPECT_EQ(log, "");
    EXPECT_EQ(atlas.levels[0], before);
    EXPECT_FALSE(atlas.isEmpty());
}

TEST(PackCharts, PrintsItsProgressLines)
{
    Atlas atlas;
    ChartList charts{packtest::gridChart(2, 2, 3, 4, 1, 1)};
    std::string log;
    packQuietly(charts, true, atlas, &log);
    // Two lines, each a message, "Done. Took ", seconds, "s. " and a line end.
    std::istringstream lines(log);
    for (const std::string prefix : {"Packing charts ...Done. Took ", "Performing packing optimization ...Done. Took "}) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << log;
        ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
        std::istringstream rest(line.substr(prefix.size()));
        double seconds = -1.0;
        std::string tail;
        rest >> seconds;
        std::getline(rest, tail);
        EXPECT_GE(seconds, 0.0) << line;
        EXPECT_EQ(tail, "s. ") << line;
    }
    EXPECT_TRUE(lines.peek() == std::char_traits<char>::eof()) << log;
    EXPECT_EQ(log.back(), '\n');
}

TEST(PackCharts, SingleChartIsCentredInItsSmallestOrientationThenMovedToTheOrigin)
{
    // A 4 x 1 rectangle turned by -45 degrees: the 45-degree orientation
    // (index 1) lays it flat, the first orientation with the smallest box.
    Atlas atlas(384, 384);
    ChartList charts{rotatedRectangle(4.0, 1.0, -0.7853981633974483)};
    packQuietly(charts, true, atlas);
    const double s = 128.0 / std::sqrt(3.0303030303030303 * 4.0);
    const int32_t w = int32_t(std::ceil(4.0 * s)), h = int32_t(std::ceil(1.0 * s));
    EXPECT_EQ(atlas.occupiedRect[0], 192 - w / 2);
    EXPECT_EQ(atlas.occupiedRect[1], 192 - h / 2);
    EXPECT_EQ(atlas.occupiedRect[2], 192 - w / 2 + w - 1);
    EXPECT_EQ(atlas.occupiedRect[3], 192 - h / 2 + h - 1);
    const UVBox box = chartUVBounds(charts[0]);
    EXPECT_NEAR(box.minU, 0.0, 1e-12);
    EXPECT_NEAR(box.minV, 0.0, 1e-12);
    EXPECT_NEAR(box.width(), 4.0, 1e-9);
    EXPECT_NEAR(box.height(), 1.0, 1e-9);
    EXPECT_GT(packtest::signedUVArea(charts[0]), 0.0); // not mirrored
}

TEST(PackCharts, WithoutMirroringNoChartIsMirrored)
{
    const ChartList before = packtest::randomLayout(40, 2000, 11);
    ChartList charts = before;
    Atlas atlas;
    packQuietly(charts, false, atlas);
    const auto original = byFirstVertex(before);
    for (const Chart& c : charts) {
        const double was = packtest::signedUVArea(*original.at(c.triIndicesPos[0]));
        EXPECT_GT(packtest::signedUVArea(c) * was, 0.0);
    }
}

TEST(PackCharts, SortsByAreaLargestFirstKeepingTiesInOrder)
{
    ChartList charts{packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 5, 5, 2, 2),
                     packtest::gridChart(1, 1, 9, 9, 1, 1)};
    charts[0].triIndicesPos = {10, 11, 12, 10, 12, 13};
    charts[2].triIndicesPos = {20, 21, 22, 20, 22, 23};
    Atlas atlas;
    packQuietly(charts, true, atlas);
    EXPECT_NEAR(chartArea(charts[0], {}, true), 4.0, 1e-9);
    EXPECT_EQ(charts[1].triIndicesPos[0], 10u);
    EXPECT_EQ(charts[2].triIndicesPos[0], 20u);
}

TEST(PackCharts, GeneratedLayoutsNeverOverlapAndAreDeterministic)
{
    for (uint32_t seed = 1; seed <= 2; ++seed) {
        for (bool mirroring : {false, true}) {
            const ChartList before = seed % 2 ? meshgen::randomChartLayout(40, 1600, seed).charts
                                              : packtest::randomLayout(40, 1600, seed);
            ChartList first = before;
            Atlas atlas;
            const double efficiency = packQuietly(first, mirroring, atlas);
            SCOPED_TRACE(testing::Message() << "seed " << seed << " mirroring " << mirroring);
            expectValidPacking(before, first, efficiency);

            // Same input, same output, with the atlas used before.
            ChartList second = before;
            EXPECT_EQ(packQuietly(second, mirroring, atlas), efficiency);
            for (size_t i = 0; i < first.size(); ++i)
                ASSERT_EQ(first[i].uvCoords2D, second[i].uvCoords2D) << i;
        }
    }
}

TEST(PackCharts, SmallAtlasIsEnlargedAndKeepsChartsApart)
{
    Atlas atlas(8, 8);
    const ChartList before = packtest::randomLayout(12, 200, 3);
    ChartList charts = before;
    std::string log;
    const double efficiency = packQuietly(charts, true, atlas, &log);
    EXPECT_NE(log.find("Enlarging atlas.\n"), std::string::npos);
    EXPECT_GT(atlas.widths[0], 8);
    expectValidPacking(before, charts, efficiency);
}

TEST(PackCharts, DegenerateChartsNeitherCrashNorHang)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Chart point = packtest::gridChart(1, 1, 0, 0, 0, 0);   // zero area, zero extent
    Chart segment = packtest::gridChart(3, 1, 0, 0, 2, 0); // zero area, some extent
    Chart noTriangles;
    noTriangles.uvCoords2D = {7.0, 8.0};
    Chart withNaN = packtest::gridChart(2, 2, 0, 0, 1, 1);
    withNaN.uvCoords2D[4] = nan;
    Chart huge = packtest::gridChart(1, 1, 1e200, 1e200, 1e199, 1e199);
    for (const ChartList& input : {ChartList{point}, ChartList{point, segment},
                                   ChartList{noTriangles, packtest::gridChart(1, 1, 0, 0, 1, 1)},
                                   ChartList{withNaN, packtest::gridChart(1, 1, 0, 0, 1, 1)},
                                   ChartList{huge, packtest::gridChart(1, 1, 0, 0, 1, 1)}}) {
        ChartList charts = input;
        Atlas atlas;
        const double efficiency = packQuietly(charts, false, atlas);
        EXPECT_TRUE(std::isfinite(efficiency));
        EXPECT_GE(efficiency, 0.0);
        EXPECT_LE(atlas.widths[0], MaxAtlasSide);
    }
    // A chart without triangles keeps its UVs.
    ChartList charts{noTriangles, packtest::gridChart(1, 1, 3, 3, 1, 1)};
    Atlas atlas;
    packQuietly(charts, true, atlas);
    EXPECT_EQ(charts[1].uvCoords2D, noTriangles.uvCoords2D);
}

TEST(PackCharts, VeryLongChartsKeepTheAtlasBounded)
{
    // A strip a million times longer than wide next to a square: the raster
    // size is bounded, so the atlas grows a few times at most.
    ChartList charts{packtest::gridChart(8, 1, 0, 0, 1e6, 1), packtest::gridChart(1, 1, 0, 5, 1, 1)};
    charts[1].triIndicesPos = {100, 101, 102, 100, 102, 103};
    const ChartList before = charts;
    Atlas atlas;
    std::string log;
    const double efficiency = packQuietly(charts, true, atlas, &log);
    EXPECT_LE(atlas.widths[0], 4096);
    expectValidPacking(before, charts, efficiency);
}
