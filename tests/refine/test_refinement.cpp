#include "app/pipeline.h"
#include "meshgen/meshgen.h"
#include "model/stats.h"
#include "packing/pack.h"
#include "refine/best_cut.h"
#include "geometry/efficiency.h"
#include "topology/overlap.h"
#include "refine/refinement_loop.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"
#include "app/model_loading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using testsupport::unitSquareChart;

namespace {

// What the hooks saw: one entry per call, with the chart count of the model at
// the time of the call.
struct HookLog {
    std::vector<std::string> calls;
    std::vector<size_t> chartCounts;
};

RefinementHooks recordingHooks(HookLog& log, const Model& model)
{
    RefinementHooks hooks;
    hooks.writeResultJSON = [&log, &model](const std::string& json) {
        log.calls.push_back("json " + json);
        log.chartCounts.push_back(model.charts.size());
    };
    hooks.exportResults = [&log, &model](const std::string& svg, const std::string& obj,
                                         const std::string& png) {
        log.calls.push_back("export " + svg + " " + obj + " " + png);
        log.chartCounts.push_back(model.charts.size());
    };
    hooks.updateDisplay = [&log, &model]() {
        log.calls.push_back("display");
        log.chartCounts.push_back(model.charts.size());
    };
    return hooks;
}

// Unit square (A = 1, boundary 4, so nbl = 4) with colours.
Model squareModel()
{
    Model m;
    m.charts.push_back(unitSquareChart());
    m.sharedPositions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    m.vertexColors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    return m;
}

// Scripted measures: efficiency values in call order (the first is E0), the
// last repeated; the cut step adds `extraCharts` copies of the square each
// call and answers from `applied` (the last repeated).
struct Script {
    std::vector<double> efficiencies;
    std::vector<bool> applied{true};
    int extraCharts = 0;
    int effCalls = 0;
    int cutCalls = 0;
};

RefinementSteps scripted(Script& s)
{
    RefinementSteps steps;
    steps.efficiency = [&s](const ChartList&) {
        const size_t i = std::min<size_t>(size_t(s.effCalls++), s.efficiencies.size() - 1);
        return s.efficiencies[i];
    };
    steps.cut = [&s](ChartList& charts, iuv::DoubleVector& pos, iuv::DoubleVector& col, double,
                     double& score, Atlas&) {
        const size_t i = std::min<size_t>(size_t(s.cutCalls++), s.applied.size() - 1);
        for (int k = 0; k < s.extraCharts; ++k)
            charts.push_back(unitSquareChart());
        pos.push_back(9.0); // an extra vertex marks the changed model
        pos.push_back(9.0);
        pos.push_back(9.0);
        if (!col.empty())
            col.insert(col.end(), {0.5, 0.5, 0.5});
        score = 1.0;
        return bool(s.applied[i]);
    };
    return steps;
}

std::string run(Model& model, double reference, Script& script, HookLog& log,
                double* boxify = nullptr)
{
    Atlas atlas;
    double boxifyTime = -1.0;
    testing::internal::CaptureStdout();
    runRefinement(model, reference, boxifyTime, atlas, recordingHooks(log, model), scripted(script));
    if (boxify)
        *boxify = boxifyTime;
    return testing::internal::GetCapturedStdout();
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string fmt(double x)
{
    std::ostringstream s;
    s << x;
    return s.str();
}

} // namespace

TEST(RefineAtlas, LayoutAtTheLimitRunsNoIterationAndWritesEverySnapshot)
{
    Model model = squareModel();
    Script script{{50.0}};
    HookLog log;
    double boxify = -1;
    const std::string out = run(model, 2.0, script, log, &boxify); // nbl 4 = 2 x 2
    EXPECT_EQ(script.cutCalls, 0);
    EXPECT_EQ(count(out, "*** ITERATION"), 0u);
    EXPECT_NE(out.find("\nFinished. Last score improvement: 1.79769e+308\n"), std::string::npos);
    EXPECT_NE(out.find("Terminated due to lack of improvement?  No\n"
                       "Terminated due to max. boundary length? Yes\n"
                       "Terminated due to number of iterations? No\n"
                       "Terminated due to time limit?           No\n"
                       "Terminated due to no empty spaces?      No\n"
                       "Terminated due to number of pieces?     No\n"),
              std::string::npos)
        << out;
    const std::vector<std::string> expected{
        "display",
        "json bl_130.json",
        "export bl_130.svg bl_130.obj bl_130_3D.png",
        "json bl_150.json",
        "export bl_150.svg bl_150.obj bl_150_3D.png",
        "json bl_200.json"};
    EXPECT_EQ(log.calls, expected);
    EXPECT_EQ(model.charts.size(), 1u);
    EXPECT_EQ(model.sharedPositions.size(), 12u);
    EXPECT_EQ(boxify, 0.0);
}

TEST(RefineAtlas, ImprovementIsMeasuredFromTheStartScoreThenFromTheLastEfficiency)
{
    Model model = squareModel();
    Script script{{50.0, 60.0, 65.0}};
    script.applied = {true, false};
    HookLog log;
    const std::string out = run(model, 100.0, script, log);
    EXPECT_EQ(script.cutCalls, 2);
    EXPECT_NE(out.find("\n *** ITERATION 0 ***\n"), std::string::npos);
    EXPECT_NE(out.find("\n *** ITERATION 1 ***\n"), std::string::npos);
    const double first = 60.0 - 50.0 / std::pow(4.0, 0.2);
    EXPECT_NE(out.find("Score      :          60\n"
                       "Improvement:          " + fmt(first) + "\n"
                       "Number of charts:     1\n"
                       "Boundary length:      4\n"
                       "Packing efficiency:   60\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Improvement:          5\n"), std::string::npos);
    EXPECT_NE(out.find("Finished. Last score improvement: 5\n"), std::string::npos);
    EXPECT_NE(out.find("Terminated due to no empty spaces?      Yes\n"), std::string::npos);
    // the best layout is the last one (65 > 60 > 50)
    EXPECT_EQ(model.sharedPositions.size(), 18u);
    EXPECT_EQ(model.vertexColors.size(), 18u);
}

TEST(RefineAtlas, FailedFirstStepEndsAfterOneIterationWithTheBetterLayout)
{
    for (double e1 : {40.0, 70.0}) {
        Model model = squareModel();
        Script script{{50.0, e1}};
        script.applied = {false};
        HookLog log;
        const std::string out = run(model, 100.0, script, log);
        EXPECT_EQ(count(out, "*** ITERATION"), 1u);
        EXPECT_NE(out.find("Terminated due to no empty spaces?      Yes\n"), std::string::npos);
        // the iteration's layout carries one extra vertex
        EXPECT_EQ(model.sharedPositions.size(), e1 > 50.0 ? 15u : 12u);
        EXPECT_EQ(model.vertexColors.size(), model.sharedPositions.size());
    }
}

TEST(RefineAtlas, EightStallsEndTheRunWithSixNoAnswers)
{
    Model model = squareModel();
    Script script{{50.0, 50.5}}; // every iteration gains less than one point
    HookLog log;
    const std::string out = run(model, 100.0, script, log);
    EXPECT_EQ(script.cutCalls, 8);
    EXPECT_EQ(count(out, "*** ITERATION"), 8u);
    EXPECT_EQ(count(out, "?  No\n") + count(out, "? No\n") + count(out, "?           No\n") +
                  count(out, "?      No\n") + count(out, "?     No\n"),
              6u);
    EXPECT_EQ(count(out, "Yes"), 0u);
    // 50.5 > 50 made the first iteration's layout the best one
    EXPECT_EQ(model.sharedPositions.size(), 15u);
}

TEST(RefineAtlas, GainsResetTheStallCount)
{
    Model model = squareModel();
    // gains of 2 points keep it going; then seven small ones and a failed step
    Script script{{10, 12, 14, 16, 16.5, 16.5, 16.5, 16.5, 16.5, 16.5, 16.5, 16.5}};
    script.applied = {true, true, true, true, true, true, true, true, true, true, false};
    HookLog log;
    run(model, 100.0, script, log);
    EXPECT_EQ(script.cutCalls, 11);
}

TEST(RefineAtlas, LayoutsBeyondTheLimitNeverBecomeBestAndSnapshotsShowTheBest)
{
    Model model = squareModel();
    // reference 2.5: limit 5; start nbl 4. One iteration adds three squares:
    // boundary 16 over sqrt(A) = 2 gives nbl 8, past 1.3, 1.5 and 2 x 2.5.
    Script script{{40.0, 90.0}};
    script.extraCharts = 3;
    HookLog log;
    const std::string out = run(model, 2.5, script, log);
    EXPECT_EQ(script.cutCalls, 1);
    const std::vector<std::string> expected{
        "json bl_130.json",
        "export bl_130.svg bl_130.obj bl_130_3D.png",
        "json bl_150.json",
        "export bl_150.svg bl_150.obj bl_150_3D.png",
        "display",
        "json bl_200.json"};
    EXPECT_EQ(log.calls, expected);
    // both snapshots in the loop show the starting layout, not the current one
    EXPECT_EQ(log.chartCounts[0], 1u);
    EXPECT_EQ(log.chartCounts[3], 1u);
    // the final model is the starting layout, colours included
    const Model start = squareModel();
    ASSERT_EQ(model.charts.size(), 1u);
    EXPECT_EQ(model.charts[0].uvCoords2D, start.charts[0].uvCoords2D);
    EXPECT_EQ(model.sharedPositions, start.sharedPositions);
    EXPECT_EQ(model.vertexColors, start.vertexColors);
    EXPECT_NE(out.find("Terminated due to max. boundary length? Yes\n"), std::string::npos);
}

TEST(RefineAtlas, NaNMeasuresEndTheRun)
{
    Model model = squareModel();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Script script{{nan}};
    HookLog log;
    run(model, 100.0, script, log);
    EXPECT_LE(script.cutCalls, 8);
    // a NaN reference length stops before the first iteration
    Script script2{{50.0}};
    Model model2 = squareModel();
    run(model2, nan, script2, log);
    EXPECT_EQ(script2.cutCalls, 0);
    // an empty model: A = 0 makes nbl NaN
    Model empty;
    Script script3{{0.0}};
    run(empty, 1.0, script3, log);
    EXPECT_EQ(script3.cutCalls, 0);
    EXPECT_TRUE(empty.charts.empty());
}

TEST(AlignChartToAxes, UnitSquareTurnsItsDiagonalsToTheAxes)
{
    Chart square = unitSquareChart();
    EXPECT_EQ(bestAxisAlignmentIndex(square), 90);
    alignChartToAxes(square);
    // the diagonal from (0,0) to (1,1) is now vertical
    EXPECT_NEAR(square.uvCoords2D[4], 0.0, 1e-6);
    EXPECT_NEAR(square.uvCoords2D[5], std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(totalUVArea({square}), 1.0, 1e-12);
}

TEST(AlignChartToAxes, AxisAlignedGridAndDegenerateChartsKeepAngleZero)
{
    Chart grid = meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::Rectangle)).charts[0];
    const iuv::DoubleVector before = grid.uvCoords2D;
    EXPECT_EQ(bestAxisAlignmentIndex(grid), 0);
    alignChartToAxes(grid);
    EXPECT_EQ(grid.uvCoords2D, before);

    Chart empty;
    alignChartToAxes(empty);
    EXPECT_EQ(bestAxisAlignmentIndex(empty), 0);
    // three triangles on one edge: no halfedges, left alone
    Chart nonManifold = testsupport::makeChart({0, 1, 2, 0, 1, 3, 0, 1, 4}, {},
                                               {0, 0, 1, 0, 0, 1, 1, 1, 0, -1});
    EXPECT_EQ(bestAxisAlignmentIndex(nonManifold), 0);
}

namespace {

struct EndToEnd {
    double referenceNormBLen;
    double startEfficiency;
    std::string output;
};

double normBLen(const ChartList& charts)
{
    return totalBoundaryLength(charts) / std::sqrt(totalUVArea(charts));
}

// Packs the model as the earlier stages leave it and refines it with a
// reference length of `share` times its boundary length (a share below 1 keeps
// the run short: it ends once nbl reaches 2 x share of the start).
EndToEnd refinePacked(Model& model, double share)
{
    Atlas atlas;
    testing::internal::CaptureStdout();
    packCharts(model.charts, model.sharedPositions, true, atlas);
    EndToEnd r;
    r.referenceNormBLen = share * normBLen(model.charts);
    r.startEfficiency = atlasPackingEfficiency(model.charts);
    double boxify = -1.0;
    refineAtlas(model, r.referenceNormBLen, boxify, atlas, RefinementHooks{});
    r.output = testing::internal::GetCapturedStdout();
    EXPECT_GE(boxify, 0.0);
    return r;
}

void expectSoundLayout(const Model& model, const EndToEnd& r)
{
    ASSERT_FALSE(model.charts.empty());
    const size_t nv = model.numVertices();
    for (const Chart& c : model.charts) {
        EXPECT_FALSE(hasUVOverlaps(c));
        EXPECT_FALSE(hasUVFlips(c));
        for (uint32_t v : c.triIndicesPos)
            ASSERT_LT(v, nv);
        for (uint32_t v : c.triIndicesUV)
            ASSERT_LT(v, c.numUVVertices());
    }
    if (!model.vertexColors.empty()) {
        EXPECT_EQ(model.vertexColors.size(), model.sharedPositions.size());
    }
    EXPECT_LE(normBLen(model.charts), 2.0 * r.referenceNormBLen + 1e-12);
    EXPECT_GE(atlasPackingEfficiency(model.charts), r.startEfficiency);
    EXPECT_NE(r.output.find("Finished. Last score improvement: "), std::string::npos);
}

} // namespace

TEST(RefineAtlasEndToEnd, CubeNetWithColours)
{
    meshgen::MeshData mesh = meshgen::cubeNet(3);
    meshgen::addColors(mesh);
    Model model = meshgen::toModel(mesh);
    const double area = totalUVArea(model.charts);
    const EndToEnd r = refinePacked(model, 0.55);
    expectSoundLayout(model, r);
    EXPECT_NEAR(totalUVArea(model.charts), area, 1e-9 * area);
    EXPECT_FALSE(model.vertexColors.empty());
}

TEST(RefineAtlasEndToEnd, RandomChartLayout)
{
    Model model = meshgen::randomChartLayout(6, 600, 7);
    const EndToEnd r = refinePacked(model, 0.55);
    expectSoundLayout(model, r);
}

TEST(RefineAtlasEndToEnd, ExampleModelThroughThePipelineStages)
{
    const std::string dir = testsupport::makeTempDir("tarnwick_refine_");
    testsupport::inDirectory(dir, [] {
        Pipeline pipeline;
        pipeline.setBatchMode(true);
        testing::internal::CaptureStdout();
        ASSERT_EQ(pipeline.loadModelFromFile(testsupport::exampleFile("grid_lshape.obj")), LoadStatus::Loaded);
        pipeline.step(); // overlap removal
        pipeline.step(); // welding, records the reference length
        const UnwrappingStats welded = pipeline.currentStats();
        pipeline.step(); // refinement
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Finished. Last score improvement: "), std::string::npos);
        EXPECT_EQ(pipeline.stageCounter(), 3);

        const Model& model = pipeline.model();
        const UnwrappingStats refined = pipeline.currentStats();
        EXPECT_FALSE(refined.overlapsFound);
        EXPECT_FALSE(refined.flipsFound);
        EXPECT_LE(refined.normBLen, 2.0 * pipeline.referenceNormBLen() + 1e-12);
        EXPECT_NEAR(pipeline.referenceNormBLen(), welded.normBLen, 1e-12);
        EXPECT_GE(refined.packingEfficiency, welded.packingEfficiency);
        for (const Chart& c : model.charts) {
            EXPECT_FALSE(hasUVOverlaps(c));
            for (uint32_t v : c.triIndicesPos)
                ASSERT_LT(v, model.numVertices());
        }
        for (const char* name : {"bl_130.json", "bl_150.json", "bl_200.json"})
            EXPECT_FALSE(testsupport::readTextFile(name).empty()) << name;
    });
}
