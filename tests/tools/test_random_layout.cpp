// Random multi-chart layouts.
#include "mesh_checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

namespace {

size_t totalTriangles(const Model& model)
{
    size_t n = 0;
    for (const Chart& c : model.charts)
        n += c.numTriangles();
    return n;
}

} // namespace

TEST(RandomChartLayout, EveryChartIsAValidSeparatePatch)
{
    const Model model = meshgen::randomChartLayout(30, 6000, 7);
    ASSERT_EQ(model.charts.size(), 30u);
    EXPECT_TRUE(model.coneSingularities.empty());
    EXPECT_TRUE(model.vertexColors.empty());
    const size_t triangles = totalTriangles(model);
    EXPECT_GT(triangles, 4500u);
    EXPECT_LT(triangles, 7500u);

    std::vector<int> owner(model.numVertices(), -1);
    std::set<long> eulerCharacteristics;
    size_t turned = 0;
    std::vector<UVBox> boxes;
    for (size_t i = 0; i < model.charts.size(); ++i) {
        SCOPED_TRACE(i);
        const Chart& chart = model.charts[i];
        ASSERT_EQ(chart.triIndicesPos.size(), chart.triIndicesUV.size());
        for (uint32_t p : chart.triIndicesPos) {
            ASSERT_LT(p, owner.size());
            EXPECT_TRUE(owner[p] == -1 || owner[p] == int(i)) << "3D vertex shared between charts";
            owner[p] = int(i);
        }
        const meshgen::MeshData mesh = meshchecks::chartAsMesh(model, i);
        EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::orientationProblems(mesh)), "");
        const meshchecks::Topology topo = meshchecks::topology(mesh);
        EXPECT_EQ(topo.uvComponents, 1u);
        EXPECT_FALSE(meshchecks::uvBoundaryCrossesItself(mesh));
        eulerCharacteristics.insert(topo.eulerCharacteristic());

        // A patch edge that is neither horizontal nor vertical shows a turn.
        const double du = chart.uvCoords2D[2 * chart.triIndicesUV[1]] - chart.uvCoords2D[2 * chart.triIndicesUV[0]];
        const double dv = chart.uvCoords2D[2 * chart.triIndicesUV[1] + 1] - chart.uvCoords2D[2 * chart.triIndicesUV[0] + 1];
        turned += std::fabs(du) > 1e-9 && std::fabs(dv) > 1e-9;
        boxes.push_back(chartUVBounds(chart));
    }
    for (int o : owner)
        EXPECT_NE(o, -1) << "unused 3D vertex";
    EXPECT_GT(turned, 20u);
    // Disks (rectangles, L shapes) and disks with two holes both occur.
    EXPECT_TRUE(eulerCharacteristics.count(1));
    EXPECT_TRUE(eulerCharacteristics.count(-1));
    // Charts lie apart in UV.
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const bool apart = boxes[i].maxU < boxes[j].minU || boxes[j].maxU < boxes[i].minU ||
                               boxes[i].maxV < boxes[j].minV || boxes[j].maxV < boxes[i].minV;
            EXPECT_TRUE(apart) << i << " and " << j;
        }
}

TEST(RandomChartLayout, DeterministicForASeed)
{
    const Model a = meshgen::randomChartLayout(12, 3000, 42);
    const Model b = meshgen::randomChartLayout(12, 3000, 42);
    const Model c = meshgen::randomChartLayout(12, 3000, 43);
    ASSERT_EQ(a.charts.size(), b.charts.size());
    EXPECT_EQ(a.sharedPositions, b.sharedPositions);
    for (size_t i = 0; i < a.charts.size(); ++i) {
        EXPECT_EQ(a.charts[i].triIndicesPos, b.charts[i].triIndicesPos);
        EXPECT_EQ(a.charts[i].triIndicesUV, b.charts[i].triIndicesUV);
        EXPECT_EQ(a.charts[i].uvCoords2D, b.charts[i].uvCoords2D);
    }
    EXPECT_NE(a.sharedPositions, c.sharedPositions);
}

TEST(RandomChartLayout, TriangleBudgetScales)
{
    for (int total : {1000, 20000}) {
        const Model model = meshgen::randomChartLayout(10, total, 1);
        const double n = double(totalTriangles(model));
        EXPECT_GT(n, 0.75 * total) << total;
        EXPECT_LT(n, 1.25 * total) << total;
    }
}

TEST(RandomChartLayout, TinyAndOutOfRangeArguments)
{
    // No budget: every chart still has a quad.
    Model model = meshgen::randomChartLayout(5, 0, 3);
    ASSERT_EQ(model.charts.size(), 5u);
    for (const Chart& c : model.charts)
        EXPECT_EQ(c.numTriangles(), 2u);
    // Count below one gives one chart; negative budgets count as none.
    model = meshgen::randomChartLayout(0, -100, 3);
    EXPECT_EQ(model.charts.size(), 1u);
    model = meshgen::randomChartLayout(INT_MIN, INT_MIN, UINT32_MAX);
    EXPECT_EQ(model.charts.size(), 1u);
    // More charts than triangles.
    model = meshgen::randomChartLayout(300, 100, 9);
    EXPECT_EQ(model.charts.size(), 300u);
    EXPECT_EQ(totalTriangles(model), 600u);
    for (double x : model.sharedPositions)
        EXPECT_TRUE(std::isfinite(x));
}
