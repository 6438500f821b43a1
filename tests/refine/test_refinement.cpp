#include "geometry/efficiency.h"
#include "meshgen/meshgen.h"
#include "packing/pack.h"
#include "refine/best_cut.h"
#include "refine/refinement_loop.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

using testsupport::unitSquareChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Unit square (area 1, boundary 4, so nbl = 4) with colours.
Model squareModel()
{
    Model m;
    m.charts.push_back(unitSquareChart());
    m.sharedPositions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    m.vertexColors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    return m;
}

// A run with scripted measures: efficiencies in call order (the first is the
// start, the last repeated); each cut adds `extraCharts` squares and one
// vertex and answers from `applied` (the last repeated).
struct Script {
    std::vector<double> efficiencies;
    std::vector<bool> applied;
    int extraCharts;
    double reference;
};
struct Seen {
    int cutCalls = 0;
    std::vector<std::string> hooks;     // hook calls in order
    std::vector<size_t> hookCharts;     // the model's chart count at each
    std::string out;
};

Seen run(Model& model, const Script& script)
{
    Seen s;
    int effCalls = 0;
    RefinementSteps steps;
    steps.efficiency = [&](const ChartList&) { return script.efficiencies[std::min<size_t>(effCalls++, script.efficiencies.size() - 1)]; };
    steps.cut = [&](ChartList& charts, iuv::DoubleVector& pos, iuv::DoubleVector& col, double, double& score, Atlas&) {
        const bool ok = script.applied[std::min<size_t>(s.cutCalls++, script.applied.size() - 1)];
        charts.insert(charts.end(), script.extraCharts, unitSquareChart());
        pos.insert(pos.end(), {9.0, 9.0, 9.0});
        if (!col.empty())
            col.insert(col.end(), {0.5, 0.5, 0.5});
        score = 1.0;
        return ok;
    };
    RefinementHooks hooks;
    const auto note = [&](const std::string& what) { s.hooks.push_back(what); s.hookCharts.push_back(model.charts.size()); };
    hooks.writeResultJSON = [&](const std::string& json) { note("json " + json); };
    hooks.exportResults = [&](const std::string& svg, const std::string&, const std::string&) { note("export " + svg); };
    hooks.updateDisplay = [&]() { note("display"); };
    Atlas atlas;
    double boxify = -1.0;
    testing::internal::CaptureStdout();
    runRefinement(model, script.reference, boxify, atlas, hooks, steps);
    s.out = testing::internal::GetCapturedStdout();
    return s;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(RefinementLoop, StopsForTheRightReasonAndKeepsTheBestLayout)
{
    struct Case {
        const char* name;
        Script script;
        int cutCalls;
        const char* reason; // the one termination line answered "Yes", or "" for none
        size_t finalPositions;
    };
    std::vector<Case> cases = {
        {"at the limit from the start", {{50}, {true}, 0, 2.0}, 0, "max. boundary length? Yes", 12},
        {"no empty space in iteration 1", {{50, 60, 65}, {true, false}, 0, 100}, 2, "no empty spaces?      Yes", 18},
        {"failed first step, worse layout", {{50, 40}, {false}, 0, 100}, 1, "no empty spaces?      Yes", 12},
        {"failed first step, better layout", {{50, 70}, {false}, 0, 100}, 1, "no empty spaces?      Yes", 15},
        {"eight stalls", {{50, 50.5}, {true}, 0, 100}, 8, "", 15},
        {"gains reset the stalls", {{10, 12, 14, 16, 16.5}, {true, true, true, true, true, true, true, true, true, true, false}, 0, 100}, 11, "no empty spaces?      Yes", 0},
        {"past the limit never best", {{40, 90}, {true}, 3, 2.5}, 1, "max. boundary length? Yes", 12},
        {"NaN efficiency", {{NaN}, {true}, 0, 100}, -1, nullptr, 0},
        {"NaN reference", {{50}, {true}, 0, NaN}, 0, nullptr, 12},
    };
    std::vector<Seen> seen;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Model model = squareModel();
        seen.push_back(run(model, c.script));
        const Seen& got = seen.back();
        if (c.cutCalls >= 0) {
            EXPECT_EQ(got.cutCalls, c.cutCalls);
        } else {
            EXPECT_LE(got.cutCalls, 8);
        }
        if (c.reason) {
            EXPECT_EQ(count(got.out, "*** ITERATION"), size_t(got.cutCalls));
            EXPECT_EQ(count(got.out, "Yes\n"), *c.reason ? 1u : 0u) << got.out;
            EXPECT_EQ(count(got.out, "No\n"), *c.reason ? 5u : 6u);
            if (*c.reason) {
                EXPECT_NE(got.out.find(std::string("Terminated due to ") + c.reason + "\n"), std::string::npos) << got.out;
            }
        }
        if (c.finalPositions) {
            EXPECT_EQ(model.sharedPositions.size(), c.finalPositions);
            EXPECT_EQ(model.vertexColors.size(), c.finalPositions);
        }
    }

    // Improvement is measured from the start score, then from the last efficiency.
    const std::string& out = seen[1].out;
    std::ostringstream first;
    first << 60.0 - 50.0 / std::pow(4.0, 0.2);
    EXPECT_NE(out.find("Score      :          60\nImprovement:          " + first.str() +
                       "\nNumber of charts:     1\nBoundary length:      4\nPacking efficiency:   60\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Finished. Last score improvement: 5\n"), std::string::npos);
    EXPECT_NE(seen[0].out.find("Finished. Last score improvement: 1.79769e+308\n"), std::string::npos);

    // Snapshots at 1.3, 1.5 and 2 x the reference; in the loop they show the best layout so far.
    const std::vector<std::string> snapshots{"json bl_130.json", "export bl_130.svg", "json bl_150.json", "export bl_150.svg"};
    std::vector<std::string> expected = snapshots;
    expected.insert(expected.begin(), "display");
    expected.push_back("json bl_200.json");
    EXPECT_EQ(seen[0].hooks, expected);
    expected = snapshots;
    expected.insert(expected.end(), {"display", "json bl_200.json"});
    EXPECT_EQ(seen[6].hooks, expected);
    EXPECT_EQ(seen[6].hookCharts[0], 1u);
    EXPECT_EQ(seen[6].hookCharts[3], 1u);

    Model empty; // area 0 makes nbl NaN
    EXPECT_EQ(run(empty, Script{{0.0}, {true}, 0, 1.0}).cutCalls, 0);
}

TEST(RefinementLoop, RealStepsKeepALayoutSoundAndWithinTheLimit)
{
    meshgen::MeshData cube = meshgen::cubeNet(3);
    meshgen::addColors(cube);
    for (Model model : {meshgen::toModel(cube), meshgen::randomChartLayout(6, 600, 7)}) {
        const double area = totalUVArea(model.charts);
        Atlas atlas;
        testing::internal::CaptureStdout();
        packCharts(model.charts, model.sharedPositions, true, atlas);
        // A reference below the start length keeps the run short.
        const double reference = 0.55 * totalBoundaryLength(model.charts) / std::sqrt(area);
        const double startEfficiency = atlasPackingEfficiency(model.charts);
        double boxify = -1.0;
        refineAtlas(model, reference, boxify, atlas, RefinementHooks{});
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Finished. Last score improvement: "), std::string::npos);
        EXPECT_GE(boxify, 0.0);
        for (const Chart& c : model.charts) {
            EXPECT_FALSE(hasUVOverlaps(c) || hasUVFlips(c));
            EXPECT_TRUE(chartIndicesValid(c));
            for (uint32_t v : c.triIndicesPos)
                ASSERT_LT(v, model.numVertices());
        }
        if (!model.vertexColors.empty()) {
            EXPECT_EQ(model.vertexColors.size(), model.sharedPositions.size());
        }
        EXPECT_NEAR(totalUVArea(model.charts), area, 1e-9 * area);
        EXPECT_LE(totalBoundaryLength(model.charts) / std::sqrt(area), 2.0 * reference + 1e-12);
        EXPECT_GE(atlasPackingEfficiency(model.charts), startEfficiency);
    }
}

TEST(AlignChartToAxes, TurnsTheLongestDirectionsToTheAxes)
{
    Chart square = unitSquareChart();
    EXPECT_EQ(bestAxisAlignmentIndex(square), 90);
    alignChartToAxes(square);
    EXPECT_NEAR(square.uvCoords2D[4], 0.0, 1e-6); // the diagonal is now vertical
    EXPECT_NEAR(square.uvCoords2D[5], std::sqrt(2.0), 1e-6);
    Chart grid = meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle)).charts[0];
    const iuv::DoubleVector before = grid.uvCoords2D;
    alignChartToAxes(grid);
    EXPECT_EQ(grid.uvCoords2D, before);
    Chart empty;
    alignChartToAxes(empty);
    EXPECT_EQ(bestAxisAlignmentIndex(testsupport::makeChart({0, 1, 2, 0, 1, 3, 0, 1, 4}, {}, {0, 0, 1, 0, 0, 1, 1, 1, 0, -1})), 0);
}
