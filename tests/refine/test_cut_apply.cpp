#include "meshgen/meshgen.h"
#include "refine/cut_apply.h"
#include "refine/cut_search.h"
#include "support/test_support.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::makeChart;
using testsupport::unitSquareChart;

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
