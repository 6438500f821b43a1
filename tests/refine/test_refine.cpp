// Cutting charts along lines, applying cuts to chart lists, and the local and
// global cut searches with their scores.
#include "meshgen/meshgen.h"
#include "refine/best_cut.h"
#include "refine/cut_apply.h"
#include "refine/cut_search.h"
#include "refine/cutting.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>

using testsupport::makeChart;
using testsupport::unitSquareChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Positions in the z = 0 plane from the charts' own UVs.
iuv::DoubleVector flatPositions(const ChartList& charts)
{
    iuv::DoubleVector p;
    for (const Chart& c : charts)
        for (size_t i = 0; i < c.triIndicesPos.size(); ++i) {
            const size_t v = c.triIndicesPos[i], t = c.triIndicesUV[i];
            if (p.size() < 3 * v + 3)
                p.resize(3 * v + 3, 0.0);
            p[3 * v] = c.uvCoords2D[2 * t];
            p[3 * v + 1] = c.uvCoords2D[2 * t + 1];
        }
    return p;
}

Chart lShape(int n) { return meshgen::toModel(meshgen::flatGrid(n, n, meshgen::Outline::LShape)).charts[0]; }

struct Search {
    bool applied;
    double score;
    std::string out;
};

Search search(ChartList& charts, bool global, double startScore = -7.0)
{
    iuv::DoubleVector pos = flatPositions(charts), col(pos.size(), 0.25);
    Atlas atlas;
    Search s{false, startScore, {}};
    testing::internal::CaptureStdout();
    s.applied = findCutSolution(charts, pos, col, global, totalUVArea(charts), s.score, atlas);
    s.out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(col.size(), pos.size());
    for (const Chart& c : charts)
        for (uint32_t v : c.triIndicesPos)
            EXPECT_LT(v, pos.size() / 3);
    return s;
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
        const iuv::DoubleVector before = flatPositions({chart});
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

// Cuts through a closed cube, checked by the halfedge code on all pieces
// together: the surface stays closed and manifold (no crack along the cut or
// across seams), and the pieces keep the UV area, counter-clockwise.
TEST(CutChartList, PiecesOfAClosedCubeStayOneClosedSurface)
{
    const Model cube = meshgen::toModel(meshgen::cubeNet(3));
    const UVBox box = chartListUVBounds(cube.charts);
    for (int i = 1; i < 8; i += 3)
        for (bool horizontal : {true, false}) {
            SCOPED_TRACE(testing::Message() << i << (horizontal ? " horizontal" : " vertical"));
            const double lo = horizontal ? box.minV : box.minU, span = horizontal ? box.height() : box.width();
            const CutCandidate cut{lo + span * i / 9.0 + 0.013, lo + span * (i + 1) / 9.0 + 0.007, horizontal};
            const iuv::DoubleVector colours(cube.sharedPositions.size(), 0.5);
            ChartList first, second;
            iuv::DoubleVector pos, col;
            cutChartList(cube.charts, cut, cube.sharedPositions, pos, colours, col, first, second, CutAllCharts);
            ChartList all = first;
            all.insert(all.end(), second.begin(), second.end());
            EXPECT_GE(all.size(), 3u);
            EXPECT_EQ(col.size(), pos.size());
            EXPECT_NEAR(totalUVArea(all), totalUVArea(cube.charts), 1e-9);
            iuv::UIntVector tris;
            for (const Chart& c : all) {
                tris.append(c.triIndicesPos);
                for (size_t t = 0; t < c.numTriangles(); ++t)
                    EXPECT_GT(uvTriangleCross(c, t), 0.0);
            }
            HalfedgeMesh mesh;
            ASSERT_FALSE(buildHalfedgeMesh(tris, pos.size() / 3, mesh));
            EXPECT_TRUE(mesh.isManifold);
            for (uint32_t h = 0; h < mesh.halfedges.size(); ++h)
                ASSERT_FALSE(mesh.isBoundary(h)) << h;
        }
}

TEST(CutChartList, CutsThatSplitNothingAndDegenerateChartsEndWithoutAHang)
{
    ChartList list = {unitSquareChart()};
    iuv::DoubleVector pos(12, 0.0), col;
    EXPECT_FALSE(applyLocalCut(list, CutCandidate{2.0, 3.0, true}, 0, pos, col));
    EXPECT_FALSE(applyGlobalCut(list, CutCandidate{2.0, 3.0, false}, pos, col));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(pos.size(), 12u);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ChartList odd{makeChart({0, 1, 2}, {}, {0, 0.5, 1, 0.5, 2, 0.5}), makeChart({0, 1, 2}, {}, {0, nan, 1, 0, 0, 1}),
                        Chart{}, makeChart({0, 1, 2}, {0, 1, 9}, {0, 0, 1, 0, 0, 1}), unitSquareChart()};
    for (int32_t selector : {CutAllCharts, 99}) {
        ChartList first, second;
        iuv::DoubleVector newPos;
        cutChartList(odd, CutCandidate{0.25, 0.75, true}, iuv::DoubleVector(12, 0.0), newPos, {}, col, first, second, selector);
        EXPECT_EQ(first.size() + second.size(), selector == 99 ? odd.size() : 7u);
    }
    // T-junction repair leaves a triangle with a repeated vertex, or a point at its own corner, alone.
    SplitEdgeRegistry reg;
    reg.add(0, 1, 2, 0.5);
    Chart degenerate = makeChart({0, 1, 0}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    Chart tri = makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1});
    EXPECT_EQ(repairTJunctionsFully(degenerate, reg), 0);
    EXPECT_EQ(repairTJunctionsFully(tri, reg), 0);
    EXPECT_EQ(tri.numTriangles(), 1u);
}

TEST(CutSearch, ScoresAndPositionsOfCuts)
{
    const ChartList square{unitSquareChart()};
    for (double area : {0.0, -1.0})
        EXPECT_EQ(cutScore(80.0, square, area), 0.0);
    EXPECT_EQ(cutScore(80.0, ChartList{}, 1.0), 0.0);
    EXPECT_EQ(cutScore(NaN, square, 1.0), 0.0);
    const UVBox box(0, 0, 1, 1);
    EXPECT_EQ(optimizeCutPosition(0.0, 0.5, false, square, box), 0.0);     // at the box edge
    EXPECT_EQ(optimizeCutPosition(0.4, 0.42, true, square, box), 0.4);     // window too small
    EXPECT_EQ(optimizeCutPosition(3.0, 4.0, true, square, UVBox(0, 0, 5, 5)), 3.0); // cuts nothing
    // The L shape is half as wide above v = 0.5 (and right of u = 0.5): the
    // line moves from 0.48 into the window part with the shorter cut.
    const ChartList l{lShape(10)};
    for (bool horizontal : {true, false}) {
        const double t = optimizeCutPosition(0.48, 0.9, horizontal, l, box);
        EXPECT_GT(t, 0.5);
        EXPECT_LE(t, 0.53 + 1e-9);
    }
    EXPECT_EQ(optimizeCutPosition(0.48, 0.5, true, l, box), 0.48);
    EXPECT_EQ(bestAxisAlignmentIndex(Chart{}), 0); // no boundary to align
}

TEST(CutSearch, CutsInTheWrongOrderEndTheProcessWithStatus23)
{
    const ChartList square{unitSquareChart()};
    const std::vector<const Chart*> one{&square[0]};
    EXPECT_EXIT(
        {
            std::cout.rdbuf(std::cerr.rdbuf());
            candidateFromSpace(EmptySpace{0.2, 0.5, 0.8, 0.5}, true, one, UVBox(0, 0, 1, 1));
        },
        testing::ExitedWithCode(23), "ERROR: CUTS HAVE WRONG ORDER AFTER OPTIMIZATION!");
    // A non-finite space gives lines that cut nothing, not an exit.
    const CutCandidate none = candidateFromSpace(EmptySpace{NaN, NaN, NaN, NaN}, true, one, UVBox(0, 0, 1, 1));
    EXPECT_TRUE(std::isnan(none.lo));
    ChartList list = square;
    iuv::DoubleVector pos(12, 0.0), col;
    EXPECT_FALSE(applyLocalCut(list, none, 0, pos, col));
}

TEST(CutSearch, LayoutsWithoutAUsefulCut)
{
    ChartList apart{unitSquareChart(), unitSquareChart()};
    translateUVs(apart[1].uvCoords2D, 2.0, 0.0);
    Search s = search(apart, false);
    EXPECT_FALSE(s.applied);
    EXPECT_EQ(s.out, "No empty spaces found.\n");
    EXPECT_EQ(s.score, -7.0);

    ChartList full{unitSquareChart()};
    s = search(full, true);
    EXPECT_FALSE(s.applied);
    EXPECT_EQ(s.out, "Detected 0 cut candidates.\n");
    EXPECT_EQ(full[0].uvCoords2D, unitSquareChart().uvCoords2D);

    // Two tiny squares: every line lies within the margin of their vertices.
    ChartList tiny{makeChart({0, 1, 2, 0, 2, 3}, {}, {5, 5, 5.04, 5, 5.04, 5.04, 5, 5.04}),
                   makeChart({4, 5, 6, 4, 6, 7}, {0, 1, 2, 0, 2, 3}, {5.07, 5, 5.11, 5, 5.11, 5.04, 5.07, 5.04})};
    const double length = totalBoundaryLength(tiny);
    s = search(tiny, true);
    EXPECT_FALSE(s.applied);
    EXPECT_NE(s.out.find("> Global cut leads to same blength, not cutting anything.\n"), std::string::npos) << s.out;
    EXPECT_DOUBLE_EQ(totalBoundaryLength(tiny), length);
    EXPECT_NEAR(chartListUVBounds(tiny).minU, 0.0, 1e-9); // repacked at the origin

    for (const ChartList& layout : std::vector<ChartList>{{}, {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 2, 0})},
                                                          {makeChart({0, 1, 2}, {}, {0, 0, NaN, 0, 0, 1}), unitSquareChart()},
                                                          {Chart{}, unitSquareChart()}})
        for (bool global : {false, true}) {
            ChartList charts = layout;
            search(charts, global);
        }
}
