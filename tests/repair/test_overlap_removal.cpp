#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "topology/overlap.h"
#include "repair/overlap_removal.h"

#include <gtest/gtest.h>

namespace {

size_t triangleCount(const ChartList& charts)
{
    size_t n = 0;
    for (const Chart& c : charts)
        n += c.numTriangles();
    return n;
}

void expectCleanCharts(const Model& m)
{
    for (size_t i = 0; i < m.charts.size(); ++i) {
        EXPECT_FALSE(hasUVOverlaps(m.charts[i])) << "chart " << i;
        EXPECT_FALSE(hasUVFlips(m.charts[i])) << "chart " << i;
    }
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TEST(RunOverlapRemoval, FoldedStripWithoutCones)
{
    Model m = meshgen::toModel(meshgen::foldedStrip(96, 3));
    const size_t triangles = triangleCount(m.charts);
    Atlas atlas;
    testing::internal::CaptureStdout();
    runOverlapRemoval(m, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(startsWith(out, "Model without singularities - no welding will be performed.\n")) << out;
    EXPECT_GT(m.charts.size(), 1u);
    EXPECT_EQ(triangleCount(m.charts), triangles);
    expectCleanCharts(m);
}

TEST(RunOverlapRemoval, FoldedStripWithConesUsesSeamSeparation)
{
    meshgen::MeshData mesh = meshgen::foldedStrip(96, 2);
    mesh.cones = {7, 100, 250};
    Model m = meshgen::toModel(mesh);
    Atlas atlas;
    testing::internal::CaptureStdout();
    runOverlapRemoval(m, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(startsWith(out, "Model with singularities - using seam-separating weights.\n")) << out;
    expectCleanCharts(m);
}

TEST(RunOverlapRemoval, FlippedAndFoldedGrid)
{
    // Pulling one inner UV vertex far out flips and folds the triangles around it.
    Model m = meshgen::toModel(meshgen::flatGrid(6, 6, meshgen::Outline::Rectangle));
    ASSERT_EQ(m.charts.size(), 1u);
    Chart& c = m.charts[0];
    const uint32_t inner = c.triIndicesUV[3 * 20];
    c.uvCoords2D[2 * size_t(inner)] += 0.6;
    c.uvCoords2D[2 * size_t(inner) + 1] += 0.45;
    const size_t triangles = triangleCount(m.charts);
    Atlas atlas;
    testing::internal::CaptureStdout();
    runOverlapRemoval(m, atlas);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(triangleCount(m.charts), triangles);
    expectCleanCharts(m);
}

TEST(RunOverlapRemoval, EmptyModel)
{
    Model m;
    Atlas atlas;
    testing::internal::CaptureStdout();
    runOverlapRemoval(m, atlas);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(m.charts.empty());
}

TEST(RunTrivialOverlapRemoval, SplitsOffAndSegments)
{
    Model empty;
    Atlas atlas;
    testing::internal::CaptureStdout();
    runTrivialOverlapRemoval(empty, atlas);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(empty.charts.empty());

    Model m = meshgen::toModel(meshgen::foldedStrip(96, 2));
    const size_t triangles = triangleCount(m.charts);
    testing::internal::CaptureStdout();
    runTrivialOverlapRemoval(m, atlas);
    testing::internal::GetCapturedStdout();
    EXPECT_GT(m.charts.size(), 1u);
    EXPECT_EQ(triangleCount(m.charts), triangles);
    for (const Chart& c : m.charts)
        EXPECT_FALSE(hasUVOverlaps(c));
}
