#include "meshgen/meshgen.h"
#include "refine/best_cut.h"
#include "refine/cut_search.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"

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

} // namespace

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
