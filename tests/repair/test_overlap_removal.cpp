#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "repair/overlap_removal.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

TEST(OverlapRemoval, LeavesCleanChartsWithEveryTriangle)
{
    meshgen::MeshData withCones = meshgen::foldedStrip(96, 2);
    withCones.cones = {7, 100, 250};
    // Pulling one inner UV vertex far out flips and folds the triangles around it.
    Model pulled = meshgen::toModel(meshgen::flatGrid(6, 6, meshgen::Outline::Rectangle));
    const uint32_t inner = pulled.charts[0].triIndicesUV[3 * 20];
    pulled.charts[0].uvCoords2D[2 * inner] += 0.6;
    pulled.charts[0].uvCoords2D[2 * inner + 1] += 0.45;
    struct Case { const char* name; Model model; bool trivial; const char* firstLine; };
    const std::vector<Case> cases = {
        {"folded strip", meshgen::toModel(meshgen::foldedStrip(96, 3)), false, "Model without singularities - no welding will be performed.\n"},
        {"with cones", meshgen::toModel(withCones), false, "Model with singularities - using seam-separating weights.\n"},
        {"flipped and folded grid", pulled, false, ""},
        {"trivial removal", meshgen::toModel(meshgen::foldedStrip(96, 2)), true, ""},
        {"empty", Model(), false, ""},
        {"empty, trivial", Model(), true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Model m = c.model;
        size_t before = 0, after = 0;
        for (const Chart& chart : m.charts)
            before += chart.numTriangles();
        Atlas atlas;
        testing::internal::CaptureStdout();
        if (c.trivial)
            runTrivialOverlapRemoval(m, atlas);
        else
            runOverlapRemoval(m, atlas);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.compare(0, std::string(c.firstLine).size(), c.firstLine), 0) << out;
        for (const Chart& chart : m.charts) {
            after += chart.numTriangles();
            EXPECT_FALSE(hasUVOverlaps(chart));
            EXPECT_FALSE(!c.trivial && hasUVFlips(chart));
        }
        EXPECT_EQ(after, before);
        EXPECT_TRUE(before < 500 || m.charts.size() > 1); // the folded strips come apart
    }
}
