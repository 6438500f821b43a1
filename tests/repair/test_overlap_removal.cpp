#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "packing/compaction.h"
#include "packing/pack.h"
#include "repair/overlap_removal.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
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
    // The folded meshes of the generator (strip, mushroom, sheet, spiral ramp) run through both removals
    // in the end-to-end tests, with the same area oracle and the console lines.
    struct Case { const char* name; Model model; bool trivial; bool kept = false; };
    const std::vector<Case> cases = {
        {"flipped and folded grid", pulled, false},
        {"empty", Model(), false},
        {"empty, plain removal", Model(), true},
        {"packed, untouched", packed, false, true},
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
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(triangleCount(m.charts), before);
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
