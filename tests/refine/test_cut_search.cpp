#include "meshgen/meshgen.h"
#include "refine/best_cut.h"
#include "refine/cut_search.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using testsupport::makeChart;
using testsupport::unitSquareChart;

namespace {

// Positions in the z = 0 plane from a chart's own UVs (3D index = UV index).
iuv::DoubleVector flatPositions(const ChartList& charts)
{
    size_t n = 0;
    for (const Chart& c : charts)
        for (uint32_t v : c.triIndicesPos)
            n = std::max<size_t>(n, v + 1);
    iuv::DoubleVector p(3 * n, 0.0);
    for (const Chart& c : charts)
        for (size_t i = 0; i < c.triIndicesPos.size(); ++i) {
            const size_t v = c.triIndicesPos[i], t = c.triIndicesUV[i];
            p[3 * v] = c.uvCoords2D[2 * t];
            p[3 * v + 1] = c.uvCoords2D[2 * t + 1];
        }
    return p;
}

Chart lShape(int n)
{
    return meshgen::toModel(meshgen::flatGrid(n, n, meshgen::Outline::LShape)).charts[0];
}

// n x n grid over the unit square without the quads of columns i0..i1-1 and
// rows j0..j1-1; 3D index = UV index.
Chart gridWithout(int n, int i0, int i1, int j0, int j1)
{
    Chart c;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            c.uvCoords2D.push_back(double(i) / n);
            c.uvCoords2D.push_back(double(j) / n);
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (i >= i0 && i < i1 && j >= j0 && j < j1)
                continue;
            const uint32_t a = uint32_t(j * (n + 1) + i), b = a + 1, d = a + uint32_t(n + 1),
                           e = d + 1;
            for (uint32_t v : {a, b, e, a, e, d})
                c.triIndicesUV.push_back(v);
        }
    c.triIndicesPos = c.triIndicesUV;
    return c;
}

} // namespace

TEST(CutScore, EfficiencyOverNormalisedBoundaryToThePowerOfAFifth)
{
    const ChartList square{unitSquareChart()};
    EXPECT_NEAR(cutScore(80.0, square, 1.0), 80.0 / std::pow(4.0, 0.2), 1e-12);
    EXPECT_NEAR(cutScore(80.0, square, 4.0), 80.0 / std::pow(2.0, 0.2), 1e-12);
    // no area or no boundary: a defined score instead of NaN or infinity
    EXPECT_EQ(cutScore(80.0, square, 0.0), 0.0);
    EXPECT_EQ(cutScore(80.0, ChartList{}, 1.0), 0.0);
    EXPECT_EQ(cutScore(80.0, square, -1.0), 0.0);
    EXPECT_EQ(cutScore(std::numeric_limits<double>::quiet_NaN(), square, 1.0), 0.0);
}

TEST(OptimizeCutPosition, StaysAtBoxEdgesSmallWindowsAndWhereNothingIsCut)
{
    const ChartList square{unitSquareChart()};
    const UVBox box(0, 0, 1, 1);
    EXPECT_EQ(optimizeCutPosition(1.0 - 5e-6, 0.5, true, square, box), 1.0 - 5e-6);
    EXPECT_EQ(optimizeCutPosition(0.0, 0.5, false, square, box), 0.0);
    // gap 0.02: half-window 0.009 is below the minimum
    EXPECT_EQ(optimizeCutPosition(0.4, 0.42, true, square, box), 0.4);
    // lines far outside the chart cut nothing: the line stays
    EXPECT_EQ(optimizeCutPosition(3.0, 4.0, true, square, UVBox(0, 0, 5, 5)), 3.0);
}

TEST(OptimizeCutPosition, MovesToTheShortestCutInTheWindow)
{
    // L shape: width 1 below v = 0.5, width 0.5 above. From v = 0.48 with the
    // opposite line far away the window runs from 0.43 to 0.53; every sample
    // above the row at 0.5 cuts half as long, and the first of them is kept.
    const ChartList charts{lShape(10)};
    const UVBox box(0, 0, 1, 1);
    // (equal costs differ by rounding, so any of these samples can be kept)
    const double t = optimizeCutPosition(0.48, 0.9, true, charts, box);
    EXPECT_GT(t, 0.5);
    EXPECT_LE(t, 0.53 + 1e-9);
    // towards the opposite line at 0.5: half-window 0.009, too small to move
    EXPECT_EQ(optimizeCutPosition(0.48, 0.5, true, charts, box), 0.48);
    // the same chart, cut vertically from u = 0.48 (window 0.43 .. 0.53): right
    // of 0.5 the line cuts the bottom part only
    const double u = optimizeCutPosition(0.48, 0.9, false, charts, box);
    EXPECT_GT(u, 0.5);
    EXPECT_LE(u, 0.53 + 1e-9);
}

TEST(CandidateFromSpace, WrongOrderEndsTheProcessWithStatus23)
{
    const ChartList square{unitSquareChart()};
    const std::vector<const Chart*> one{&square[0]};
    const EmptySpace flat{0.2, 0.5, 0.8, 0.5};
    // the child's console goes to its standard error, where the death test reads it
    EXPECT_EXIT(
        {
            std::cout.rdbuf(std::cerr.rdbuf());
            candidateFromSpace(flat, true, one, UVBox(0, 0, 1, 1));
        },
        testing::ExitedWithCode(23), "ERROR: CUTS HAVE WRONG ORDER AFTER OPTIMIZATION!");
    const CutCandidate ok = candidateFromSpace(EmptySpace{0.2, 0.3, 0.8, 0.7}, false, one,
                                               UVBox(0, 0, 1, 1));
    EXPECT_LT(ok.lo, ok.hi);
    EXPECT_FALSE(ok.horizontal);
    // a non-finite space gives lines that cut nothing, not an exit
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CutCandidate none =
        candidateFromSpace(EmptySpace{nan, nan, nan, nan}, true, one, UVBox(0, 0, 1, 1));
    EXPECT_TRUE(std::isnan(none.lo));
    ChartList list = square;
    iuv::DoubleVector pos(12, 0.0), col;
    EXPECT_FALSE(applyLocalCut(list, none, 0, pos, col));
}

TEST(Searches, DegenerateLayoutsEndWithoutACut)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<ChartList> layouts{
        {},
        {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 2, 0})},                 // zero area
        {makeChart({0, 1, 2}, {}, {0, 0, nan, 0, 0, 1}), unitSquareChart()}, // NaN corner
        {Chart{}, unitSquareChart()}};
    for (const ChartList& layout : layouts) {
        for (bool global : {false, true}) {
            ChartList charts = layout;
            iuv::DoubleVector pos(12, 0.0), col;
            Atlas atlas;
            double score = 0.0;
            testing::internal::CaptureStdout();
            findCutSolution(charts, pos, col, global, totalUVArea(charts), score, atlas);
            testing::internal::GetCapturedStdout();
            for (const Chart& c : charts)
                for (uint32_t v : c.triIndicesPos)
                    EXPECT_LT(v, pos.size() / 3);
        }
    }
}

TEST(LocalSearch, NoEmptySpacesFound)
{
    ChartList charts{unitSquareChart(), unitSquareChart()};
    translateUVs(charts[1].uvCoords2D, 2.0, 0.0);
    iuv::DoubleVector pos = flatPositions(charts), col;
    Atlas atlas;
    double score = -7.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(findCutSolution(charts, pos, col, false, 2.0, score, atlas));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "No empty spaces found.\n");
    EXPECT_EQ(score, -7.0);
    EXPECT_EQ(charts.size(), 2u);
}

std::vector<std::string> printedScores(const std::string& out)
{
    std::vector<std::string> scores;
    const std::string tag = "Found feasible configuration with score ";
    for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1)) {
        const size_t from = at + tag.size();
        scores.push_back(out.substr(from, out.find('\n', from) - from));
    }
    return scores;
}

std::string fmt(double x)
{
    std::ostringstream s;
    s << x;
    return s.str();
}

TEST(ChooseBestCandidate, HighestScoreWinsAndEqualScoresKeepTheEarlier)
{
    const std::vector<double> scores{3.0, 5.0, 4.0, 5.0, 1.0};
    const std::vector<bool> feasible{true, true, true, true, false};
    testing::internal::CaptureStdout();
    const size_t k = chooseBestCandidate(scores.size(), [&](size_t i, double& s) {
        s = scores[i];
        return bool(feasible[i]);
    });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(k, 1u);
    EXPECT_EQ(out, "Found feasible configuration with score 3\n"
                   "Found feasible configuration with score 5\n"
                   "Found feasible configuration with score 4\n"
                   "Found feasible configuration with score 5\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(chooseBestCandidate(3, [](size_t, double&) { return false; }), NoCandidate);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // NaN scores never win
    testing::internal::CaptureStdout();
    EXPECT_EQ(chooseBestCandidate(2, [](size_t, double& s) {
                  s = std::numeric_limits<double>::quiet_NaN();
                  return true;
              }),
              NoCandidate);
    testing::internal::GetCapturedStdout();
}

TEST(LocalSearch, OneSpaceGivesTwoCandidatesAndTheBestIsApplied)
{
    // a narrow notch in the upper right: one empty space
    ChartList charts{gridWithout(25, 23, 25, 13, 25)};
    iuv::DoubleVector pos = flatPositions(charts), col(pos.size(), 0.25);
    const double A = totalUVArea(charts);
    Atlas atlas;
    double score = 0.0;
    testing::internal::CaptureStdout();
    const bool ok = findCutSolution(charts, pos, col, false, A, score, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Detected 2 cut candidates.\n"), std::string::npos) << out;
    ASSERT_TRUE(ok) << out;
    const std::vector<std::string> scores = printedScores(out);
    ASSERT_GE(scores.size(), 1u);
    EXPECT_GT(charts.size(), 1u);
    EXPECT_NEAR(totalUVArea(charts), A, 1e-9);
    EXPECT_EQ(col.size(), pos.size());
    // the applied solution is the best trial, repacked the same way
    double bestPrinted = 0.0;
    for (const std::string& s : scores)
        bestPrinted = std::max(bestPrinted, std::stod(s));
    EXPECT_EQ(fmt(score), fmt(bestPrinted));
}

TEST(GlobalSearch, SingleChartFillingItsBoxHasNoCandidate)
{
    ChartList charts{unitSquareChart()};
    iuv::DoubleVector pos = flatPositions(charts), col;
    Atlas atlas;
    double score = -3.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(findCutSolution(charts, pos, col, true, 1.0, score, atlas));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Detected 0 cut candidates.\n");
    EXPECT_EQ(score, -3.0);
    EXPECT_EQ(charts[0].uvCoords2D, unitSquareChart().uvCoords2D);
}

TEST(GlobalSearch, SameBoundaryLengthKeepsTheRepackedModel)
{
    // two small squares with a gap: every line lies within the margin of all
    // their vertices, so no candidate cuts anything
    ChartList charts{makeChart({0, 1, 2, 0, 2, 3}, {}, {5, 5, 5.04, 5, 5.04, 5.04, 5, 5.04}),
                     makeChart({4, 5, 6, 4, 6, 7}, {0, 1, 2, 0, 2, 3},
                               {5.07, 5, 5.11, 5, 5.11, 5.04, 5.07, 5.04})};
    iuv::DoubleVector pos = flatPositions(charts), col;
    const double L0 = totalBoundaryLength(charts);
    Atlas atlas;
    double score = 0.0;
    testing::internal::CaptureStdout();
    const bool ok = findCutSolution(charts, pos, col, true, totalUVArea(charts), score, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("> Global cut leads to same blength, not cutting anything.\n"),
              std::string::npos)
        << out;
    EXPECT_GE(printedScores(out).size(), 2u);
    ASSERT_EQ(charts.size(), 2u);
    EXPECT_DOUBLE_EQ(totalBoundaryLength(charts), L0);
    EXPECT_GT(score, 0.0);
    // repacked: the layout now starts at the UV origin
    const UVBox box = chartListUVBounds(charts);
    EXPECT_NEAR(box.minU, 0.0, 1e-9);
    EXPECT_NEAR(box.minV, 0.0, 1e-9);
    EXPECT_EQ(pos.size(), 24u);
}

TEST(GlobalSearch, GapBetweenTwoChartsCutsAcrossBoth)
{
    ChartList charts{lShape(6), lShape(6)};
    translateUVs(charts[1].uvCoords2D, 1.5, 0.0);
    for (uint32_t& v : charts[1].triIndicesPos)
        v += 100;
    iuv::DoubleVector pos = flatPositions(charts), col;
    const double A = totalUVArea(charts);
    Atlas atlas;
    double score = 0.0;
    testing::internal::CaptureStdout();
    const bool ok = findCutSolution(charts, pos, col, true, A, score, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Detected 4 cut candidates.\n"), std::string::npos) << out;
    EXPECT_GE(printedScores(out).size(), 1u);
    if (ok) {
        EXPECT_GT(charts.size(), 2u);
    }
    EXPECT_NEAR(totalUVArea(charts), A, 1e-9);
}

TEST(ApplyBestCut, PicksASolutionAndReportsTheChoice)
{
    ChartList charts{lShape(8)};
    iuv::DoubleVector pos = flatPositions(charts), col;
    const double A = totalUVArea(charts);
    Atlas atlas;
    double score = std::numeric_limits<double>::lowest();
    testing::internal::CaptureStdout();
    const bool ok = applyBestCut(charts, pos, col, A, score, atlas);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("> Trying local cut solutions... \n"), 0u) << out;
    EXPECT_NE(out.find("> Trying global cut solutions... \n"), std::string::npos);
    const bool local = out.find("> Picking a local cut solution, ") != std::string::npos;
    const bool global = out.find("> Picking a global cut solution.\n") != std::string::npos;
    EXPECT_NE(local, global);
    EXPECT_TRUE(ok);
    EXPECT_GT(charts.size(), 1u);
    EXPECT_NEAR(totalUVArea(charts), A, 1e-9);
}
