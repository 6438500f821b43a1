#include "refine/cutting.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testsupport::makeChart;
using testsupport::unitSquareChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// 3D positions equal to the UV layout (z = 0), one per UV vertex.
iuv::DoubleVector positionsFromUV(const Chart& chart)
{
    iuv::DoubleVector p;
    for (size_t i = 0; i < chart.numUVVertices(); ++i)
        p.insert(p.end(), {chart.uvCoords2D[2 * i], chart.uvCoords2D[2 * i + 1], 0.0});
    return p;
}

// Unit square with a centre vertex, four triangles fanned around it.
Chart centreFanSquare()
{
    return makeChart({0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4}, {}, {0, 0, 1, 0, 1, 1, 0, 1, 0.5, 0.5});
}

} // namespace

TEST(CutAlongLine, SplitsStraddlingTrianglesAndKeepsAreaAndOrientation)
{
    // The strip's top lies 0.02 above v = 0.5, within the margin of the line.
    const Chart strip = makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, 1, 0.52, 0, 0.52});
    struct Case { const char* name; Chart chart; bool horizontal; double c; size_t uvVertices, triangles; double length; };
    const std::vector<Case> cases = {
        {"diagonal shared", unitSquareChart(), true, 0.5, 7, 6, 2.0},
        {"vertical", unitSquareChart(), false, 0.3, 7, 6, 2.0},
        {"through a vertex", centreFanSquare(), true, 0.5, 7, 6, 2.0},
        {"touching the top", unitSquareChart(), true, 1.0, 4, 2, 0.0},
        {"within the tolerance", unitSquareChart(), true, 1.0 + 5e-6, 4, 2, 0.0},
        {"at the bottom", unitSquareChart(), true, 0.0, 4, 2, 0.0},
        {"outside", unitSquareChart(), true, -0.5, 4, 2, 0.0},
        {"sliver within the margin", strip, true, 0.5, 4, 2, 0.0},
        {"strip cut lower", strip, true, 0.4, 7, 6, 2.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_NEAR(cutLength(k.chart, k.c, k.horizontal, CutMargin), k.length, 1e-12);
        Chart chart = k.chart;
        const iuv::DoubleVector before = positionsFromUV(chart);
        iuv::DoubleVector pos = before, col;
        for (size_t i = 0; i < chart.numUVVertices(); ++i)
            col.insert(col.end(), {double(i % 2), double(i % 3) * 0.5, 1.0});
        SplitEdgeRegistry registry;
        CutMask mask;
        cutAlongLine(chart, pos, col, registry, k.horizontal, k.c, mask, CutMargin);
        EXPECT_EQ(chart.numUVVertices(), k.uvVertices);
        EXPECT_EQ(chart.numTriangles(), k.triangles);
        ASSERT_EQ(pos.size(), 3 * k.uvVertices);
        ASSERT_EQ(col.size(), pos.size());
        EXPECT_NEAR(totalUVArea({chart}), totalUVArea({k.chart}), 1e-12);
        const int axis = k.horizontal ? 1 : 0;
        for (size_t t = 0; t < chart.numTriangles(); ++t) {
            EXPECT_GT(uvTriangleCross(chart, t), 0.0) << "triangle " << t;
            bool below = false, above = false;
            for (int j = 0; j < 3; ++j) {
                const double x = chart.uvCoords2D[2 * chart.triIndicesUV[3 * t + j] + axis];
                below = below || x < k.c - CutMargin;
                above = above || x > k.c + CutMargin;
            }
            EXPECT_FALSE(below && above) << "triangle " << t << " still straddles the line";
        }
        // Every new vertex lies on the line; position and colour share its weight.
        for (const auto& entry : registry.edges)
            for (const SplitPoint& sp : entry.second) {
                const size_t a = entry.first.first, b = entry.first.second, v = sp.vertex;
                EXPECT_NEAR(pos[3 * v + axis], k.c, 1e-12);
                for (int j = 0; j < 3; ++j) {
                    EXPECT_NEAR(pos[3 * v + j], sp.weight * before[3 * a + j] + (1 - sp.weight) * before[3 * b + j], 1e-12);
                    EXPECT_NEAR(col[3 * v + j], sp.weight * col[3 * a + j] + (1 - sp.weight) * col[3 * b + j], 1e-12);
                }
            }
    }
}

TEST(CutAlongLine, BadChartsAreLeftAlone)
{
    const std::vector<Chart> cases = {
        Chart{},
        makeChart({0, 1, 2}, {}, {0, 0, 1, NaN, 0, 1}),
        makeChart({0, 1, 2}, {}, {0, 0.5, 1, 0.5, 2, 0.5}), // zero area, on the line
        makeChart({0, 1, 2}, {0, 1, 7}, {0, 0, 1, 0, 0, 1}), // UV index out of range
        makeChart({0, 1, 9}, {0, 1, 2}, {0, 0, 1, 0, 0, 1}), // 3D index out of range
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Chart chart = cases[i];
        iuv::DoubleVector pos(9, 0.0), col;
        SplitEdgeRegistry reg;
        CutMask mask;
        cutAlongLine(chart, pos, col, reg, true, 0.5, mask, CutMargin);
        EXPECT_EQ(chart.numTriangles(), cases[i].numTriangles()) << i;
        EXPECT_EQ(pos.size(), 9u) << i;
        EXPECT_FALSE(std::isnan(cutLength(cases[i], 0.5, true, CutMargin))) << i;
    }
    EXPECT_EQ(triangleQuality(0, 0, 1, {0, 0, 1, 0}), std::numeric_limits<double>::infinity());
}
