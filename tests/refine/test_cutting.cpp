#include "refine/cutting.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testsupport::makeChart;
using testsupport::unitSquareChart;

namespace {

// 3D positions equal to the UV layout (z = 0), one per UV vertex.
iuv::DoubleVector positionsFromUV(const Chart& chart)
{
    iuv::DoubleVector p;
    for (size_t i = 0; i < chart.numUVVertices(); ++i) {
        p.push_back(chart.uvCoords2D[2 * i]);
        p.push_back(chart.uvCoords2D[2 * i + 1]);
        p.push_back(0.0);
    }
    return p;
}

// Unit square with a centre vertex, four triangles fanned around it.
Chart centreFanSquare()
{
    return makeChart({0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4}, {},
                     {0, 0, 1, 0, 1, 1, 0, 1, 0.5, 0.5});
}

void expectAllCounterClockwise(const Chart& chart)
{
    for (size_t t = 0; t < chart.numTriangles(); ++t)
        EXPECT_GT(uvTriangleCross(chart, t), 0.0) << "triangle " << t;
}

struct CutResult {
    Chart chart;
    iuv::DoubleVector positions;
    iuv::DoubleVector colors;
    SplitEdgeRegistry registry;
    CutMask mask;
};

CutResult cut(const Chart& chart, bool horizontal, double c, bool withColors = false)
{
    CutResult r;
    r.chart = chart;
    r.positions = positionsFromUV(chart);
    if (withColors) {
        for (size_t i = 0; i < chart.numUVVertices(); ++i) {
            r.colors.push_back(double(i % 2));
            r.colors.push_back(double(i % 3) * 0.5);
            r.colors.push_back(1.0);
        }
    }
    cutAlongLine(r.chart, r.positions, r.colors, r.registry, horizontal, c, r.mask, CutMargin);
    return r;
}

} // namespace

TEST(LineCrossesTriangle, FlagsEdgesAndCornersOnTheLine)
{
    const std::array<double, 6> tri{{0, 0, 1, 0, 0.5, 1}};
    LineCrossing x = lineCrossesTriangle(tri, 0.5, true);
    EXPECT_TRUE(x.crosses);
    EXPECT_FALSE(x.edgeCrossed[0]);
    EXPECT_TRUE(x.edgeCrossed[1]);
    EXPECT_TRUE(x.edgeCrossed[2]);

    // vertical line through the apex: one edge crossed, apex on the line
    x = lineCrossesTriangle(tri, 0.5, false);
    EXPECT_TRUE(x.crosses);
    EXPECT_TRUE(x.edgeCrossed[0]);
    EXPECT_TRUE(x.onLine[2]);

    // within the tolerance of a corner: touching, not crossing
    x = lineCrossesTriangle(tri, 1.0 - 5e-6, true);
    EXPECT_FALSE(x.crosses);
    EXPECT_TRUE(x.onLine[2]);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(lineCrossesTriangle({{0, 0, 1, nan, 0.5, 1}}, 0.5, true).crosses);
}

TEST(CutAlongLine, AdjacentTrianglesShareTheSplitVertex)
{
    const CutResult r = cut(unitSquareChart(), true, 0.5);
    // edges 1-2, 2-0 (the shared diagonal) and 3-0 are crossed: three new vertices
    EXPECT_EQ(r.chart.numUVVertices(), 7u);
    EXPECT_EQ(r.positions.size(), 7u * 3);
    EXPECT_EQ(r.chart.numTriangles(), 6u);
    EXPECT_NEAR(totalUVArea({r.chart}), 1.0, 1e-12);
    expectAllCounterClockwise(r.chart);
    // both triangles of the diagonal use one vertex at (0.5, 0.5), in UV and 3D
    int onDiagonal = 0;
    for (size_t i = 4; i < 7; ++i)
        if (std::fabs(r.chart.uvCoords2D[2 * i] - 0.5) < 1e-12)
            ++onDiagonal;
    EXPECT_EQ(onDiagonal, 1);
    EXPECT_EQ(r.registry.edges.size(), 3u);
    const std::vector<SplitPoint>* diag = r.registry.find(2, 0);
    ASSERT_NE(diag, nullptr);
    ASSERT_EQ(diag->size(), 1u);
    EXPECT_NEAR((*diag)[0].weight, 0.5, 1e-12);
    // no triangle straddles the line any more
    for (size_t t = 0; t < r.chart.numTriangles(); ++t) {
        bool below = false, above = false;
        for (int k = 0; k < 3; ++k) {
            const double v = r.chart.uvCoords2D[2 * r.chart.triIndicesUV[3 * t + k] + 1];
            below = below || v < 0.5 - 1e-9;
            above = above || v > 0.5 + 1e-9;
        }
        EXPECT_FALSE(below && above) << "triangle " << t;
    }
}

TEST(CutAlongLine, LineThroughAVertexAddsNoVertexThere)
{
    const CutResult r = cut(centreFanSquare(), true, 0.5);
    // only edges 1-2 and 3-0 are crossed; the centre vertex is reused
    EXPECT_EQ(r.chart.numUVVertices(), 7u);
    EXPECT_EQ(r.positions.size(), 7u * 3);
    EXPECT_EQ(r.chart.numTriangles(), 6u);
    for (size_t i = 5; i < 7; ++i)
        EXPECT_NE(r.chart.uvCoords2D[2 * i], 0.5);
    EXPECT_NEAR(totalUVArea({r.chart}), 1.0, 1e-12);
    expectAllCounterClockwise(r.chart);
}

TEST(CutAlongLine, TouchingLineSplitsNothing)
{
    for (double c : {1.0, 1.0 + 5e-6, 0.0, -0.5}) {
        const CutResult r = cut(unitSquareChart(), true, c);
        EXPECT_EQ(r.chart.triIndicesUV, unitSquareChart().triIndicesUV) << c;
        EXPECT_EQ(r.chart.numUVVertices(), 4u);
        EXPECT_EQ(r.positions.size(), 12u);
        EXPECT_TRUE(r.registry.empty());
    }
}

TEST(CutAlongLine, SliverWithinTheMarginStaysWhole)
{
    // rectangle 1 x 0.52 of two triangles: the top vertices lie 0.02 above v = 0.5
    const Chart strip = makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, 1, 0.52, 0, 0.52});
    CutResult r = cut(strip, true, 0.5);
    EXPECT_EQ(r.chart.numTriangles(), 2u);
    EXPECT_EQ(r.mask, CutMask({true, true}));
    EXPECT_EQ(cutLength(strip, 0.5, true, CutMargin), 0.0);
    // further from the top the line cuts
    r = cut(strip, true, 0.4);
    EXPECT_EQ(r.chart.numTriangles(), 6u);
    EXPECT_EQ(r.mask, CutMask({false, false}));
}

TEST(CutAlongLine, ColoursFollowThePositions)
{
    CutResult r = cut(unitSquareChart(), false, 0.25);
    EXPECT_TRUE(r.colors.empty());

    r = cut(unitSquareChart(), false, 0.25, true);
    ASSERT_EQ(r.colors.size(), r.positions.size());
    // every new vertex: position and colour interpolated with the same weight
    const iuv::DoubleVector p0 = positionsFromUV(unitSquareChart());
    for (const auto& entry : r.registry.edges) {
        for (const SplitPoint& sp : entry.second) {
            const size_t a = entry.first.first, b = entry.first.second, v = sp.vertex;
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(r.positions[3 * v + j],
                            sp.weight * p0[3 * a + j] + (1 - sp.weight) * p0[3 * b + j], 1e-12);
                EXPECT_NEAR(r.colors[3 * v + j],
                            sp.weight * r.colors[3 * a + j] + (1 - sp.weight) * r.colors[3 * b + j],
                            1e-12);
            }
            EXPECT_NEAR(r.positions[3 * v], 0.25, 1e-12);
        }
    }
}

TEST(CutLength, UnitSquareAndWindowEdges)
{
    const Chart square = unitSquareChart();
    EXPECT_NEAR(cutLength(square, 0.5, true, CutMargin), 2.0, 1e-12);
    EXPECT_NEAR(cutLength(square, 0.3, false, CutMargin), 2.0, 1e-12);
    EXPECT_EQ(cutLength(square, 1.0, true, CutMargin), 0.0);
    EXPECT_EQ(cutLength(square, 2.0, true, CutMargin), 0.0);
    // through the centre vertex: the points on the crossed edges plus the corner
    EXPECT_NEAR(cutLength(centreFanSquare(), 0.5, true, CutMargin), 2.0, 1e-12);
}

TEST(TriangleQuality, EquilateralIsZeroAndWorseShapesScoreHigher)
{
    const iuv::DoubleVector uv{0, 0, 1, 0, 0.5, std::sqrt(3.0) / 2, 0, 1, 10, 0};
    EXPECT_NEAR(triangleQuality(0, 1, 2, uv), 0.0, 1e-6);
    const double right = triangleQuality(0, 1, 3, uv);
    EXPECT_NEAR(right, (1.0471975 - M_PI / 4) / 1.0471975, 1e-6);
    EXPECT_GT(triangleQuality(0, 4, 3, uv), right);
    // a degenerate triangle is the worst, not NaN
    EXPECT_EQ(triangleQuality(0, 0, 1, uv), std::numeric_limits<double>::infinity());
}

TEST(TriangulatePolygon, CutsOffTheBetterTriangle)
{
    // square p0..p3: both candidate triangles are right isosceles: q1 <= q0 keeps p2 out
    const iuv::DoubleVector uv{0, 0, 1, 0, 1, 1, 0, 1};
    std::vector<CutCorner> poly{{0, 10}, {1, 11}, {2, 12}, {3, 13}};
    std::vector<CutCorner> extra;
    triangulatePolygon(poly, extra, uv);
    ASSERT_EQ(poly.size(), 3u);
    EXPECT_EQ(poly[0].uv, 0u);
    EXPECT_EQ(poly[1].uv, 1u);
    EXPECT_EQ(poly[2].uv, 3u);
    ASSERT_EQ(extra.size(), 3u);
    EXPECT_EQ(extra[0].pos, 11u);
    EXPECT_EQ(extra[2].pos, 13u);

    // a thin sliver (p1, p2, p3) is worse: (p0, p1, p2) is cut off instead
    const iuv::DoubleVector uv2{0, 0, 1, 0, 0.5, 0.8, 0.48, 0.81};
    poly = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    extra.clear();
    triangulatePolygon(poly, extra, uv2);
    EXPECT_EQ(poly[1].uv, 2u);
    EXPECT_EQ(extra[1].uv, 1u);
}

TEST(CutAlongLine, DegenerateInputIsLeftAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // empty chart
    CutResult r = cut(Chart{}, true, 0.5);
    EXPECT_EQ(r.chart.numTriangles(), 0u);
    EXPECT_TRUE(r.mask.empty());
    EXPECT_EQ(cutLength(Chart{}, 0.5, true, CutMargin), 0.0);
    // NaN coordinates
    r = cut(makeChart({0, 1, 2}, {}, {0, 0, 1, nan, 0, 1}), true, 0.5);
    EXPECT_EQ(r.chart.numTriangles(), 1u);
    // zero-area triangle on the line and a UV index out of range
    r = cut(makeChart({0, 1, 2}, {}, {0, 0.5, 1, 0.5, 2, 0.5}), true, 0.5);
    EXPECT_EQ(r.chart.numTriangles(), 1u);
    Chart bad = makeChart({0, 1, 2}, {0, 1, 7}, {0, 0, 1, 0, 0, 1});
    EXPECT_EQ(cutLength(bad, 0.5, true, CutMargin), 0.0);
    iuv::DoubleVector pos(9, 0.0), col;
    SplitEdgeRegistry reg;
    CutMask mask;
    cutAlongLine(bad, pos, col, reg, true, 0.5, mask, CutMargin);
    EXPECT_EQ(bad.numTriangles(), 1u);
    EXPECT_EQ(pos.size(), 9u);
    // 3D index out of range
    Chart badPos = makeChart({0, 1, 9}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    cutAlongLine(badPos, pos, col, reg, true, 0.5, mask, CutMargin);
    EXPECT_EQ(badPos.numTriangles(), 1u);
}

TEST(SplitKeyLess, WeightsWithinToleranceAreEqual)
{
    SplitKeyLess less;
    EXPECT_FALSE(less({1, 2, 0.5}, {1, 2, 0.50005}));
    EXPECT_FALSE(less({1, 2, 0.50005}, {1, 2, 0.5}));
    EXPECT_TRUE(less({1, 2, 0.5}, {1, 2, 0.5002}));
    EXPECT_TRUE(less({1, 2, 0.9}, {1, 3, 0.1}));
    EXPECT_TRUE(less({0, 9, 0.9}, {1, 2, 0.1}));
}
