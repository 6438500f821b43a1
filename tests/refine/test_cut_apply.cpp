#include "meshgen/meshgen.h"
#include "refine/cut_apply.h"
#include "refine/cut_search.h"
#include "support/test_support.h"
#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::makeChart;
using testsupport::unitSquareChart;

namespace {

// The 3D mesh of all charts together, built by the halfedge code.
struct Joined3D {
    bool manifold = false;
    size_t boundaryHalfedges = 0;
    double boundaryLength = 0.0;
};

Joined3D joined3D(const ChartList& charts, const iuv::DoubleVector& p)
{
    iuv::UIntVector tris;
    for (const Chart& c : charts)
        tris.append(c.triIndicesPos);
    HalfedgeMesh mesh;
    Joined3D j;
    if (buildHalfedgeMesh(tris, p.size() / 3, mesh))
        return j;
    j.manifold = mesh.isManifold;
    for (uint32_t h = 0; h < mesh.halfedges.size(); ++h)
        if (mesh.isBoundary(h)) {
            const size_t a = mesh.source(h), b = mesh.halfedges[h].to;
            ++j.boundaryHalfedges;
            j.boundaryLength += std::hypot(p[3 * a] - p[3 * b], p[3 * a + 1] - p[3 * b + 1], p[3 * a + 2] - p[3 * b + 2]);
        }
    return j;
}

// A ring of three quads unrolled into one chart; the seam edge 0-3 appears at
// u = 0 and, sheared, at u = 3, so a line crosses its two copies at different places.
Chart ringChart()
{
    Chart ring;
    for (int top = 0; top < 2; ++top)
        for (int i = 0; i < 4; ++i)
            ring.uvCoords2D.insert(ring.uvCoords2D.end(), {double(i), top + (i == 3 ? 0.2 + 0.2 * top : 0.0)});
    for (uint32_t i = 0; i < 3; ++i)
        ring.triIndicesUV.insert(ring.triIndicesUV.end(), {i, i + 1, i + 5, i, i + 5, i + 4});
    for (uint32_t v : ring.triIndicesUV)
        ring.triIndicesPos.push_back(v < 4 ? v % 3 : 3 + (v - 4) % 3);
    return ring;
}

} // namespace

TEST(CutChartList, PiecesKeepAreaAndTheSurfaceStaysWhole)
{
    const meshgen::MeshData grid = meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle);
    const Model cube = meshgen::toModel(meshgen::cubeNet(3));
    const UVBox cubeBox = chartListUVBounds(cube.charts);
    // Two squares side by side in 3D, laid out apart and rotated in UV.
    const ChartList seamPair = {unitSquareChart(), makeChart({1, 4, 5, 1, 5, 2}, {0, 1, 2, 0, 2, 3}, {5, 5, 5, 6, 4, 6, 4, 5})};
    const iuv::DoubleVector pairPos{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0, 2, 1, 0};
    const iuv::DoubleVector ringPos{1, 0, 0, -0.5, 0.866, 0, -0.5, -0.866, 0, 1, 0, 1, -0.5, 0.866, 1, -0.5, -0.866, 1};
    struct Case { const char* name; ChartList charts; iuv::DoubleVector pos; CutCandidate cut; int32_t selector; size_t minPieces; };
    std::vector<Case> cases = {
        {"grid, both lines", {meshgen::toModel(grid).charts[0]}, iuv::DoubleVector(grid.positions), {0.3, 0.7, true}, CutAllCharts, 3},
        {"seam neighbour", seamPair, pairPos, {0.3, 0.7, true}, 0, 4},
        {"seam copies, one line", {ringChart()}, ringPos, {0.5, 5.0, true}, 0, 2},
        {"seam copies, two lines", {ringChart()}, ringPos, {0.5, 0.9, true}, 0, 2},
    };
    for (int i = 1; i < 8; i += 3)
        for (bool horizontal : {true, false}) {
            const double lo = horizontal ? cubeBox.minV : cubeBox.minU, span = horizontal ? cubeBox.height() : cubeBox.width();
            cases.push_back({"closed cube", cube.charts, cube.sharedPositions,
                             {lo + span * i / 9.0 + 0.013, lo + span * (i + 1) / 9.0 + 0.007, horizontal}, CutAllCharts, 3});
        }
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Joined3D before = joined3D(k.charts, k.pos);
        ASSERT_TRUE(before.manifold);
        const iuv::DoubleVector colours(k.pos.size(), 0.5);
        ChartList first, second;
        iuv::DoubleVector pos, col;
        cutChartList(k.charts, k.cut, k.pos, pos, colours, col, first, second, k.selector);
        ChartList all = first;
        all.insert(all.end(), second.begin(), second.end());
        EXPECT_GE(all.size(), k.minPieces);
        EXPECT_EQ(col.size(), pos.size());
        EXPECT_NEAR(totalUVArea(all), totalUVArea(k.charts), 1e-9 * totalUVArea(k.charts));
        for (const Chart& c : all)
            for (size_t t = 0; t < c.numTriangles(); ++t)
                EXPECT_GT(uvTriangleCross(c, t), 0.0);
        // No crack: the pieces share their 3D vertices along the cut and across seams.
        const Joined3D after = joined3D(all, pos);
        EXPECT_TRUE(after.manifold);
        EXPECT_EQ(after.boundaryHalfedges == 0, before.boundaryHalfedges == 0);
        EXPECT_NEAR(after.boundaryLength, before.boundaryLength, 1e-9);
    }
}

TEST(CutChartList, LocalCutOrdersPiecesAndRefusesCutsThatSplitNothing)
{
    const Chart grid = meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle)).charts[0];
    ChartList list{grid};
    iuv::DoubleVector pos(3 * grid.numUVVertices(), 0.0), col;
    ASSERT_TRUE(applyLocalCut(list, CutCandidate{0.3, 0.7, true}, 0, pos, col));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_NEAR(chartUVBounds(list[0]).minV, 0.7001, 1e-9); // the piece above comes first
    EXPECT_NEAR(chartUVBounds(list[1]).maxV, 0.2999, 1e-9);

    list = {unitSquareChart()};
    pos.assign(12, 0.0);
    EXPECT_FALSE(applyLocalCut(list, CutCandidate{2.0, 3.0, true}, 0, pos, col));
    EXPECT_FALSE(applyGlobalCut(list, CutCandidate{2.0, 3.0, false}, pos, col));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(pos.size(), 12u);
}

TEST(CutChartList, DegenerateInputEndsWithoutAHang)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ChartList odd{makeChart({0, 1, 2}, {}, {0, 0.5, 1, 0.5, 2, 0.5}), makeChart({0, 1, 2}, {}, {0, nan, 1, 0, 0, 1}),
                        Chart{}, makeChart({0, 1, 2}, {0, 1, 9}, {0, 0, 1, 0, 0, 1}), unitSquareChart()};
    for (int32_t selector : {CutAllCharts, 99}) {
        ChartList first, second;
        iuv::DoubleVector pos, col;
        cutChartList(odd, CutCandidate{0.25, 0.75, true}, iuv::DoubleVector(12, 0.0), pos, {}, col, first, second, selector);
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
