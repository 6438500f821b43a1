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

iuv::DoubleVector squarePositions()
{
    return {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
}

struct Applied {
    ChartList first, second;
    iuv::DoubleVector positions, colours;
};

Applied apply(const ChartList& charts, const CutCandidate& cand, const iuv::DoubleVector& pos,
              int32_t selector, const iuv::DoubleVector& colours = {})
{
    Applied a;
    cutChartList(charts, cand, pos, a.positions, colours, a.colours, a.first, a.second, selector);
    return a;
}

ChartList joined(const Applied& a)
{
    ChartList all = a.first;
    all.insert(all.end(), a.second.begin(), a.second.end());
    return all;
}

// The 3D mesh of all charts together.
struct Joined3D {
    bool built = false;
    bool manifold = false;
    size_t boundaryHalfedges = 0;
    double boundaryLength = 0.0;
};

Joined3D joined3D(const ChartList& charts, const iuv::DoubleVector& positions)
{
    iuv::UIntVector tris;
    for (const Chart& c : charts)
        tris.append(c.triIndicesPos);
    HalfedgeMesh mesh;
    Joined3D j;
    j.built = !buildHalfedgeMesh(tris, positions.size() / 3, mesh);
    if (!j.built)
        return j;
    j.manifold = mesh.isManifold;
    for (uint32_t h = 0; h < mesh.halfedges.size(); ++h) {
        if (!mesh.isBoundary(h))
            continue;
        ++j.boundaryHalfedges;
        const size_t a = mesh.source(h), b = mesh.halfedges[h].to;
        j.boundaryLength += std::sqrt(std::pow(positions[3 * a] - positions[3 * b], 2) +
                                      std::pow(positions[3 * a + 1] - positions[3 * b + 1], 2) +
                                      std::pow(positions[3 * a + 2] - positions[3 * b + 2], 2));
    }
    return j;
}

Chart gridChart(int n)
{
    return meshgen::toModel(meshgen::flatGrid(n, n, meshgen::Outline::Rectangle)).charts[0];
}

} // namespace

TEST(CutChartList, LinesThatMissGiveOneUnchangedPiece)
{
    const ChartList charts{unitSquareChart()};
    const Applied a = apply(charts, CutCandidate{2.0, 3.0, true}, squarePositions(), 0);
    EXPECT_TRUE(a.first.empty());
    ASSERT_EQ(a.second.size(), 1u);
    EXPECT_EQ(a.second[0].triIndicesPos, charts[0].triIndicesPos);
    EXPECT_EQ(a.second[0].uvCoords2D, charts[0].uvCoords2D);
    EXPECT_EQ(a.positions, squarePositions());

    // the local search's application rejects it and leaves the lists alone
    ChartList list = charts;
    iuv::DoubleVector pos = squarePositions(), col;
    EXPECT_FALSE(applyLocalCut(list, CutCandidate{2.0, 3.0, true}, 0, pos, col));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(pos, squarePositions());
    // a single chart that the global cut leaves whole is rejected too
    EXPECT_FALSE(applyGlobalCut(list, CutCandidate{2.0, 3.0, false}, pos, col));
}

TEST(CutChartList, BothLinesGiveBelowBetweenAboveWithTheLastPieceFirst)
{
    const Chart grid = gridChart(4);
    const meshgen::MeshData mesh = meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle);
    const iuv::DoubleVector pos(mesh.positions);
    const Applied a = apply({grid}, CutCandidate{0.3, 0.7, true}, pos, CutAllCharts);
    ASSERT_EQ(a.second.size(), 2u);
    ASSERT_EQ(a.first.size(), 1u);
    const UVBox below = chartUVBounds(a.second[0]);
    const UVBox between = chartUVBounds(a.second[1]);
    const UVBox above = chartUVBounds(a.first[0]);
    EXPECT_NEAR(below.minV, 0.0, 1e-12);
    EXPECT_NEAR(below.maxV, 0.2999, 1e-9);
    EXPECT_NEAR(between.minV, 0.2999, 1e-9);
    EXPECT_NEAR(between.maxV, 0.7001, 1e-9);
    EXPECT_NEAR(above.minV, 0.7001, 1e-9);
    EXPECT_NEAR(above.maxV, 1.0, 1e-12);
    EXPECT_NEAR(totalUVArea(joined(a)), 1.0, 1e-12);
    // the pieces still share their 3D vertices along the cut lines
    const Joined3D j = joined3D(joined(a), a.positions);
    EXPECT_TRUE(j.built);
    EXPECT_TRUE(j.manifold);
    EXPECT_NEAR(j.boundaryLength, 4.0, 1e-12);
    // the input is untouched
    EXPECT_EQ(pos.size(), mesh.positions.size());

    ChartList list{grid};
    iuv::DoubleVector p = pos, col;
    ASSERT_TRUE(applyLocalCut(list, CutCandidate{0.3, 0.7, true}, 0, p, col));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_NEAR(chartUVBounds(list[0]).minV, 0.7001, 1e-9);
}

TEST(CutChartList, SeamNeighbourSharesTheNewVerticesThroughTheRepair)
{
    // A: unit square on 3D vertices 0..3; B: the square to its right in 3D
    // (vertices 1, 4, 5, 2), laid out elsewhere in UV and rotated.
    const Chart a = unitSquareChart();
    const Chart b = makeChart({1, 4, 5, 1, 5, 2}, {0, 1, 2, 0, 2, 3},
                              {5, 5, 5, 6, 4, 6, 4, 5});
    const iuv::DoubleVector pos{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0, 2, 1, 0};
    const iuv::DoubleVector colours(pos.size(), 0.5);
    const Joined3D before = joined3D({a, b}, pos);
    ASSERT_TRUE(before.built);

    const Applied r = apply({a, b}, CutCandidate{0.3, 0.7, true}, pos, 0, colours);
    const ChartList all = joined(r);
    ASSERT_EQ(all.size(), 4u); // three pieces of A and B
    EXPECT_EQ(r.colours.size(), r.positions.size());
    const Chart& bAfter = r.second.back();
    // B now runs through the two new 3D vertices on the shared edge 1-2
    size_t newVerticesInB = 0;
    for (uint32_t v : bAfter.triIndicesPos)
        if (v >= 6)
            ++newVerticesInB;
    EXPECT_GT(newVerticesInB, 0u);
    EXPECT_EQ(bAfter.numTriangles(), 4u);
    EXPECT_NEAR(totalUVArea({bAfter}), 1.0, 1e-12);
    for (size_t t = 0; t < bAfter.numTriangles(); ++t)
        EXPECT_GT(uvTriangleCross(bAfter, t), 0.0);
    // the 3D mesh keeps its outline: no crack along the seam
    const Joined3D after = joined3D(all, r.positions);
    EXPECT_TRUE(after.built);
    EXPECT_TRUE(after.manifold);
    EXPECT_NEAR(after.boundaryLength, before.boundaryLength, 1e-12);
    EXPECT_NEAR(totalUVArea(all), 2.0, 1e-12);
}

TEST(CutChartList, ClosedSurfaceStaysClosedAndAreaIsKept)
{
    const Model cube = meshgen::toModel(meshgen::cubeNet(3));
    const UVBox box = chartListUVBounds(cube.charts);
    const double area = totalUVArea(cube.charts);
    for (int i = 1; i < 8; ++i) {
        for (bool horizontal : {true, false}) {
            const double lo0 = horizontal ? box.minV : box.minU;
            const double span = horizontal ? box.height() : box.width();
            const CutCandidate cand{lo0 + span * i / 9.0 + 0.013, lo0 + span * (i + 1) / 9.0 + 0.007,
                                    horizontal};
            const Applied r = apply(cube.charts, cand, cube.sharedPositions, CutAllCharts);
            const ChartList all = joined(r);
            EXPECT_GT(all.size(), 2u);
            EXPECT_GT(r.positions.size(), cube.sharedPositions.size());
            EXPECT_NEAR(totalUVArea(all), area, 1e-9 * area);
            const Joined3D j = joined3D(all, r.positions);
            EXPECT_TRUE(j.built) << i << horizontal;
            EXPECT_TRUE(j.manifold) << i << horizontal;
            EXPECT_EQ(j.boundaryHalfedges, 0u) << i << horizontal;
        }
    }
}

TEST(CutChartList, SeamCopiesCrossedAtDifferentPlacesStayJoined)
{
    // A prism ring of three quads unrolled into one chart; the seam edge 0-3
    // appears at u = 0 (v from 0 to 1) and, sheared, at u = 3 (v from 0.2 to
    // 1.4), so a line at v = 0.5 crosses its two copies at different places.
    Chart ring;
    for (int i = 0; i < 4; ++i) {
        ring.uvCoords2D.insert(ring.uvCoords2D.end(), {double(i), i == 3 ? 0.2 : 0.0});
    }
    for (int i = 0; i < 4; ++i) {
        ring.uvCoords2D.insert(ring.uvCoords2D.end(), {double(i), i == 3 ? 1.4 : 1.0});
    }
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t b0 = i, b1 = i + 1, t0 = 4 + i, t1 = 5 + i;
        ring.triIndicesUV.insert(ring.triIndicesUV.end(), {b0, b1, t1, b0, t1, t0});
    }
    for (uint32_t v : ring.triIndicesUV)
        ring.triIndicesPos.push_back(v < 4 ? v % 3 : 3 + (v - 4) % 3);
    const iuv::DoubleVector pos{1, 0, 0, -0.5, 0.866, 0, -0.5, -0.866, 0,
                                1, 0, 1, -0.5, 0.866, 1, -0.5, -0.866, 1};
    const Joined3D before = joined3D({ring}, pos);
    ASSERT_TRUE(before.built);
    ASSERT_EQ(before.boundaryHalfedges, 6u);

    for (const CutCandidate& cand : {CutCandidate{0.5, 5.0, true}, CutCandidate{0.5, 0.9, true}}) {
        const Applied r = apply({ring}, cand, pos, 0);
        const ChartList all = joined(r);
        EXPECT_GE(all.size(), 2u);
        const Joined3D after = joined3D(all, r.positions);
        EXPECT_TRUE(after.built);
        EXPECT_TRUE(after.manifold);
        EXPECT_NEAR(after.boundaryLength, before.boundaryLength, 1e-9);
        EXPECT_NEAR(totalUVArea(all), totalUVArea({ring}), 1e-9);
        for (const Chart& c : all)
            for (size_t t = 0; t < c.numTriangles(); ++t)
                EXPECT_GT(uvTriangleCross(c, t), 0.0);
    }
}

TEST(SplitEdgeRegistry, SplitsOfPiecesAreRecordedOnTheOriginalEdge)
{
    SplitEdgeRegistry reg;
    reg.add(3, 7, 10, 0.5);  // 10 halfway on 3-7
    reg.add(10, 7, 11, 0.5); // 11 halfway on 7-10, a quarter of the way from 7 to 3
    const std::vector<SplitPoint>* list = reg.find(7, 3);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].vertex, 11u);
    EXPECT_NEAR((*list)[0].weight, 0.25, 1e-15);
    EXPECT_EQ(reg.find(10, 7), nullptr);
    std::vector<SplitEdgeRegistry::Between> between;
    ASSERT_TRUE(reg.pointsBetween(3, 7, between));
    ASSERT_EQ(between.size(), 2u);
    EXPECT_EQ(between[0].vertex, 10u);
    EXPECT_NEAR(between[1].atY, 0.75, 1e-15);
    ASSERT_TRUE(reg.pointsBetween(7, 10, between));
    ASSERT_EQ(between.size(), 1u);
    EXPECT_NEAR(between[0].atX, 0.5, 1e-15);
    EXPECT_FALSE(reg.pointsBetween(3, 10, between));
    EXPECT_FALSE(reg.pointsBetween(3, 4, between));
}

TEST(SplitIntoPieces, MarkedTrianglesKeepTheirNeighbours)
{
    // a strip of two triangles with a centroid on either side of lo: separated
    // unless one of them is marked in the lo mask
    const Chart square = unitSquareChart(); // centroids at v = 1/3 and 2/3
    const CutCandidate cand{0.5, 5.0, true};
    ChartList first, second;
    splitIntoPieces(square, cand, second, first, {}, {});
    EXPECT_EQ(first.size() + second.size(), 2u);
    first.clear();
    second.clear();
    splitIntoPieces(square, cand, second, first, CutMask{false, true}, {});
    EXPECT_EQ(first.size(), 0u);
    EXPECT_EQ(second.size(), 1u);
}

TEST(RepairTJunctions, FansInOrderAndStopsOnDegenerateTriangles)
{
    SplitEdgeRegistry reg;
    reg.add(0, 1, 10, 0.75); // near vertex 0
    reg.add(1, 0, 11, 0.25); // near vertex 1
    Chart c = makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    EXPECT_TRUE(repairTJunctions(c, reg));
    ASSERT_EQ(c.numTriangles(), 3u);
    EXPECT_EQ(c.triIndicesPos, iuv::UIntVector({0, 10, 2, 10, 11, 2, 11, 1, 2}));
    EXPECT_NEAR(c.uvCoords2D[6], 0.25, 1e-12);
    EXPECT_NEAR(c.uvCoords2D[8], 0.75, 1e-12);
    EXPECT_NEAR(totalUVArea({c}), 0.5, 1e-12);
    EXPECT_FALSE(repairTJunctions(c, reg));

    // a triangle with a repeated 3D vertex is left alone instead of being split forever
    Chart degenerate = makeChart({0, 1, 0}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    EXPECT_EQ(repairTJunctionsFully(degenerate, reg), 0);
    EXPECT_EQ(degenerate.numTriangles(), 1u);
    // a point registered at one of the triangle's own corners is skipped
    SplitEdgeRegistry odd;
    odd.add(0, 1, 2, 0.5);
    Chart tri = makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1});
    EXPECT_EQ(repairTJunctionsFully(tri, odd), 0);
}

TEST(CutChartList, DegenerateInput)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Applied a = apply({}, CutCandidate{0.1, 0.2, true}, {}, CutAllCharts);
    EXPECT_TRUE(a.first.empty());
    EXPECT_TRUE(a.second.empty());
    // zero-area chart, NaN chart, empty chart and a bad index among good ones
    const ChartList odd{makeChart({0, 1, 2}, {}, {0, 0.5, 1, 0.5, 2, 0.5}),
                        makeChart({0, 1, 2}, {}, {0, nan, 1, 0, 0, 1}), Chart{},
                        makeChart({0, 1, 2}, {0, 1, 9}, {0, 0, 1, 0, 0, 1}), unitSquareChart()};
    a = apply(odd, CutCandidate{0.25, 0.75, true}, iuv::DoubleVector(12, 0.0), CutAllCharts);
    EXPECT_EQ(a.first.size() + a.second.size(), 7u);
    a = apply(odd, CutCandidate{0.25, 0.75, true}, iuv::DoubleVector(12, 0.0), 99);
    EXPECT_EQ(a.second.size(), odd.size());
}
