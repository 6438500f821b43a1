#include "meshgen/meshgen.h"
#include "support/test_support.h"
#include "topology/halfedge.h"
#include "topology/mesh_topology.h"
#include "topology/overlap.h"
#include "repair/segmentation.h"
#include "topology/chart_pieces.h"
#include "repair/overlap_removal.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

using testsupport::makeChart;

namespace {

using Corners = std::array<double, 6>;
using PosKey = std::array<uint32_t, 3>;

PosKey posKey(const Chart& c, size_t t)
{
    return {c.triIndicesPos[3 * t], c.triIndicesPos[3 * t + 1], c.triIndicesPos[3 * t + 2]};
}

Corners cornerUVs(const Chart& c, size_t t)
{
    Corners r;
    for (size_t k = 0; k < 3; ++k) {
        r[2 * k] = c.uvCoords2D[2 * size_t(c.triIndicesUV[3 * t + k])];
        r[2 * k + 1] = c.uvCoords2D[2 * size_t(c.triIndicesUV[3 * t + k]) + 1];
    }
    return r;
}

// Every triangle of the original appears exactly once among the pieces, with
// the same 3D indices and the same UV position at every corner.
void expectSameTriangles(const Chart& original, const ChartList& pieces)
{
    std::map<PosKey, Corners> expected;
    for (size_t t = 0; t < original.numTriangles(); ++t)
        expected[posKey(original, t)] = cornerUVs(original, t);
    ASSERT_EQ(expected.size(), original.numTriangles()) << "test mesh must have distinct triangles";
    size_t seen = 0;
    for (const Chart& piece : pieces) {
        ASSERT_TRUE(chartIndicesValid(piece));
        for (size_t t = 0; t < piece.numTriangles(); ++t) {
            auto it = expected.find(posKey(piece, t));
            ASSERT_NE(it, expected.end());
            EXPECT_EQ(cornerUVs(piece, t), it->second);
            expected.erase(it);
            ++seen;
        }
    }
    EXPECT_EQ(seen, original.numTriangles());
}

Chart foldedStripChart(int segments, int folds, Model* modelOut = nullptr)
{
    Model model = meshgen::toModel(meshgen::foldedStrip(segments, folds));
    Chart c = model.charts.at(0);
    if (modelOut)
        *modelOut = std::move(model);
    return c;
}

} // namespace

TEST(SplitChartByLabels, RenumbersUVDenselyAndKeeps3DIndices)
{
    const Chart c = makeChart({10, 11, 12, 12, 11, 13, 20, 21, 22}, {0, 1, 2, 2, 1, 3, 4, 5, 6},
                              {0, 0, 1, 0, 0, 1, 1, 1, 5, 5, 6, 5, 5, 6});
    ChartList out(1); // existing entries are kept
    splitChartByLabels(c, {1, 0, 1}, 3, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1].triIndicesPos, (iuv::UIntVector{12, 11, 13}));
    EXPECT_EQ(out[1].triIndicesUV, (iuv::UIntVector{1, 0, 2}));
    EXPECT_EQ(out[1].uvCoords2D, (iuv::DoubleVector{1, 0, 0, 1, 1, 1}));
    EXPECT_EQ(out[2].triIndicesPos, (iuv::UIntVector{10, 11, 12, 20, 21, 22}));
    EXPECT_EQ(out[2].triIndicesUV, (iuv::UIntVector{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(out[2].uvCoords2D.size(), 12u);
    EXPECT_EQ(out[3].numTriangles(), 0u); // an unused label gives an empty chart

    // Labels beyond the count leave their triangles out.
    ChartList partial;
    splitChartByLabels(c, {0, 5, 0}, 1, partial);
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial[0].numTriangles(), 2u);
}

TEST(SplitIntoUVComponents, OneChartPerIsland)
{
    // Unit square (two triangles sharing a UV edge) plus a separate triangle.
    const Chart c = makeChart({0, 1, 2, 0, 2, 3, 0, 1, 4}, {0, 1, 2, 0, 2, 3, 4, 5, 6},
                              {0, 0, 1, 0, 1, 1, 0, 1, 3, 0, 4, 0, 3, 1});
    ChartList out;
    splitIntoUVComponents(c, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].numTriangles(), 2u);
    EXPECT_EQ(out[1].numTriangles(), 1u);
    expectSameTriangles(c, out);

    ChartList none;
    splitIntoUVComponents(Chart(), none);
    EXPECT_TRUE(none.empty());
}

TEST(SplitChartAlongCuts, CutDiagonalSeparatesTheSquare)
{
    const Chart square = testsupport::unitSquareChart();
    const auto partners = matchEdges(square.triIndicesUV, square.numUVVertices());
    std::vector<bool> cut(6, false);
    ChartList whole;
    splitChartAlongCuts(square, partners, cut, whole);
    EXPECT_EQ(whole.size(), 1u);
    // The diagonal is corner 2 of triangle 0 (2->0) and corner 3 of triangle 1 (0->2).
    cut[2] = cut[3] = true;
    ChartList halves;
    splitChartAlongCuts(square, partners, cut, halves);
    ASSERT_EQ(halves.size(), 2u);
    EXPECT_EQ(halves[0].uvCoords2D.size(), 6u);
    EXPECT_EQ(halves[1].uvCoords2D.size(), 6u);
}

TEST(SplitOffOverlaps, OverlappingTrianglesBecomeTheirOwnPiece)
{
    // Triangle 1 is folded onto triangle 0; triangle 2 is attached to
    // triangle 0 on its other side and overlaps nothing.
    const Chart c = makeChart({0, 1, 2, 1, 0, 3, 2, 1, 4}, {},
                              {0, 0, 1, 0, 0, 1, 0.3, 0.3, 1, 1});
    ChartList out;
    splitOffOverlaps(c, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].numTriangles(), 2u); // the overlapping pair stays connected
    EXPECT_EQ(out[1].numTriangles(), 1u);
    expectSameTriangles(c, out);
}

TEST(SegmentChart, FoldedStripIsCutIntoOverlapFreePieces)
{
    Model model;
    const Chart strip = foldedStripChart(48, 2, &model);
    ASSERT_TRUE(hasUVOverlaps(strip));
    MeshTopology topology;
    buildMeshTopology(model.charts, model.numVertices(), model.coneSingularities, topology);
    ChartList pieces;
    segmentChart(strip, 0, topology, pieces, false);
    EXPECT_GE(pieces.size(), 2u);
    expectSameTriangles(strip, pieces);
    for (const Chart& piece : pieces) {
        EXPECT_FALSE(hasUVOverlaps(piece));
        const auto marks = markOverlappingTriangles(piece);
        EXPECT_EQ(std::count(marks.begin(), marks.end(), true), 0);
    }
}

TEST(SegmentChart, WorksWithoutUsableTopology)
{
    const Chart strip = foldedStripChart(48, 1);
    ChartList pieces;
    segmentChart(strip, 0, MeshTopology(), pieces, true);
    expectSameTriangles(strip, pieces);
    for (const Chart& piece : pieces)
        EXPECT_FALSE(hasUVOverlaps(piece));
}

TEST(SegmentChart, DegenerateChartsDoNotBreak)
{
    // Three triangles on one UV edge (no halfedge structure), one folded.
    const Chart fan = makeChart({0, 1, 2, 1, 0, 3, 0, 1, 4}, {},
                                {0, 0, 1, 0, 0.5, 1, 0.3, 0.2, 0.5, -1});
    ChartList pieces;
    segmentChart(fan, 0, MeshTopology(), pieces, false);
    expectSameTriangles(fan, pieces);

    // Zero-area triangles and NaN coordinates.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Chart flat = makeChart({0, 1, 2, 0, 2, 3, 0, 3, 4}, {}, {0, 0, 0, 0, 0, 0, nan, 1, 1, nan});
    ChartList flatPieces;
    segmentChart(flat, 0, MeshTopology(), flatPieces, false);
    size_t total = 0;
    for (const Chart& p : flatPieces)
        total += p.numTriangles();
    EXPECT_EQ(total, 3u);

    ChartList emptyPieces;
    segmentChart(Chart(), 0, MeshTopology(), emptyPieces, false);
    EXPECT_TRUE(emptyPieces.empty());
}

TEST(RemoveOverlapsBySegmentation, CopiesCleanChartsAndSegmentsOverlappingOnes)
{
    Model model = meshgen::toModel(meshgen::foldedStrip(48, 1));
    const uint32_t v = uint32_t(model.numVertices());
    model.sharedPositions.insert(model.sharedPositions.end(), {0, 0, 9, 1, 0, 9, 0, 1, 9});
    Chart clean = makeChart({v, v + 1, v + 2}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    model.charts.insert(model.charts.begin(), clean);
    ChartList out;
    EXPECT_TRUE(removeOverlapsBySegmentation(model.charts, model.numVertices(), {}, out, false));
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0].uvCoords2D, clean.uvCoords2D);
    EXPECT_EQ(out[0].triIndicesPos, clean.triIndicesPos);
    for (const Chart& c : out)
        EXPECT_FALSE(hasUVOverlaps(c));

    ChartList again;
    EXPECT_FALSE(removeOverlapsBySegmentation(out, model.numVertices(), {}, again, false));
    EXPECT_EQ(again.size(), out.size());

    ChartList none;
    EXPECT_FALSE(removeOverlapsBySegmentation({}, 0, {}, none, true));
    EXPECT_TRUE(none.empty());
}
