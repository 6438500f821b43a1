#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "packing/compaction.h"
#include "packing/pack.h"
#include "repair/overlap_removal.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "topology/chart_pieces.h"
#include "topology/layout_stats.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

namespace {

size_t triangleCount(const ChartList& charts)
{
    size_t n = 0;
    for (const Chart& c : charts)
        n += c.numTriangles();
    return n;
}

// Area that two triangles of the layout share, as a share of the UV area.
double sharedAreaShare(const ChartList& charts)
{
    const testsupport::UVCoverage c = testsupport::uvCoverage(charts);
    return c.summedArea > 0.0 ? c.overlapArea / c.summedArea : 0.0;
}

} // namespace

TEST(RunOverlapRemoval, LeavesPackedOverlapFreeChartsWithEveryTriangle)
{
    meshgen::MeshData withCones = meshgen::foldedStrip(96, 2);
    withCones.cones = {7, 100, 250};
    // Pulling one inner UV vertex far out flips and folds the triangles around it.
    Model pulled = meshgen::toModel(meshgen::flatGrid(6, 6, meshgen::Outline::Rectangle));
    const uint32_t inner = pulled.charts[0].triIndicesUV[3 * 20];
    pulled.charts[0].uvCoords2D[2 * inner] += 0.6;
    pulled.charts[0].uvCoords2D[2 * inner + 1] += 0.45;
    // No flips, one piece, no overlap: the loaded (packed) layout stays.
    Model packed = meshgen::toModel(meshgen::flatGrid(4, 3, meshgen::Outline::LShape));
    Atlas packing;
    testing::internal::CaptureStdout();
    packCharts(packed.charts, packed.sharedPositions, false, packing);
    compactCharts(packed.charts);
    testing::internal::GetCapturedStdout();
    // The folded meshes of the generator (mushroom, sheet, spiral ramp) run
    // through both removals in the end-to-end tests, with the same area oracle.
    struct Case { const char* name; Model model; bool trivial; const char* firstLine; bool kept = false; };
    const std::vector<Case> cases = {
        {"folded strip", meshgen::toModel(meshgen::foldedStrip(96, 3)), false, "Model without singularities - no welding will be performed.\n"},
        {"with cones", meshgen::toModel(withCones), false, "Model with singularities - using seam-separating weights.\n"},
        {"flipped and folded grid", pulled, false, ""},
        {"folded strip, plain removal", meshgen::toModel(meshgen::foldedStrip(96, 2)), true, ""},
        {"empty", Model(), false, ""},
        {"empty, plain removal", Model(), true, ""},
        {"packed, untouched", packed, false, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.trivial ? " (plain)" : ""));
        Model m = c.model;
        const size_t before = triangleCount(m.charts);
        Atlas atlas;
        testing::internal::CaptureStdout();
        if (c.trivial)
            runTrivialOverlapRemoval(m, atlas);
        else
            runOverlapRemoval(m, atlas);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.compare(0, std::string(c.firstLine).size(), c.firstLine), 0) << out;
        EXPECT_EQ(triangleCount(m.charts), before);
        EXPECT_TRUE(before < 100 || m.charts.size() > 1); // every folded input comes apart
        EXPECT_LE(sharedAreaShare(m.charts), 1e-9);
        for (const Chart& chart : m.charts)
            EXPECT_FALSE(hasUVOverlaps(chart) || (!c.trivial && hasUVFlips(chart)));
        const UnwrappingStats stats = computeStats(m.charts, m.sharedPositions);
        EXPECT_FALSE(stats.overlapsFound);
        EXPECT_LE(stats.packingEfficiency, 100.0);
        if (c.kept) {
            ASSERT_EQ(m.charts.size(), 1u);
            EXPECT_EQ(m.charts[0].uvCoords2D, c.model.charts[0].uvCoords2D);
        }
    }
}

TEST(SeparateOverlappingTriangles, PiecesAreFreeOfOverlapsAndKeepEveryTriangle)
{
    struct Case {
        const char* name;
        Chart chart;
        bool splits;
        size_t pieces; // 0: more than one, not counted
    };
    // A triangle folded over its neighbour across their shared edge; the
    // boundary does not cross itself, so segmentation would pass it on.
    const Chart folded = testsupport::makeChart({0, 1, 2, 1, 0, 3}, {}, {0, 0, 1, 0, 0, 1, 0.2, 0.3});
    const Case cases[] = {
        {"folded pair", folded, true, 2},
        {"square", testsupport::unitSquareChart(), false, 1},
        {"spiral ramp", meshgen::toModel(meshgen::spiralRamp(48, 3)).charts[0], true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartList charts{c.chart};
        EXPECT_EQ(separateOverlappingTriangles(charts), c.splits);
        if (c.pieces > 0) {
            EXPECT_EQ(charts.size(), c.pieces);
        } else {
            EXPECT_GT(charts.size(), 1u);
        }
        EXPECT_EQ(triangleCount(charts), c.chart.numTriangles());
        for (const Chart& piece : charts) {
            EXPECT_LE(sharedAreaShare({piece}), 1e-9);
            ChartList connected;
            splitIntoUVComponents(piece, connected);
            EXPECT_EQ(connected.size(), 1u);
        }
        if (!c.splits) {
            EXPECT_EQ(charts[0].uvCoords2D, c.chart.uvCoords2D);
        }
    }
}
