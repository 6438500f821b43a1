// The pipeline object in-process: its stage counter, cancellation points, write failures and the batch
// sequence's safe points (the real program's messages and exit statuses are the e2e tests').
#include "app/pipeline.h"
#include "meshgen/meshgen.h"
#include "support/test_support.h"
#include "app/model_loading.h"
#include "texture/image_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

struct RecordingObserver : PipelineObserver {
    int dirtyUpdates = 0, positions = 0, loads = 0;
    std::vector<std::string> rejections;
    UnwrappingStats lastStats;

    void displayUpdated(bool dirty, const UnwrappingStats& stats) override
    {
        dirtyUpdates += dirty;
        lastStats = stats;
    }
    void positionsChanged(const iuv::DoubleVector&) override { ++positions; }
    void loadFinished() override { ++loads; }
    void inputRejected(const std::string& title, const std::string& text) override
    {
        rejections.push_back(title + "|" + text);
    }
    bool saveSnapshot(const std::string&, std::string&) override { return true; }
};

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

// Runs fn with the console captured.
template <typename Fn>
std::string quietly(Fn fn)
{
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        meshgen::writeOBJ(meshgen::cubeNet(1), model);
        pipeline.setObserver(&observer);
        pipeline.setOutputDirectory(dir.path());
    }

    testsupport::TempDir dir{"tarnwick_pipeline"};
    std::string model = dir.file("cube.obj");
    Pipeline pipeline;
    RecordingObserver observer;
};

} // namespace

// Loading notifies the observer; each Step runs the next stage, the last one
// again refines, and Reload starts afresh.
TEST_F(PipelineTest, LoadThenStepThroughTheStagesAndReload)
{
    quietly([&] { EXPECT_EQ(pipeline.loadModelFromFile(model), LoadStatus::Loaded); });
    EXPECT_EQ(observer.positions, 1);
    EXPECT_EQ(observer.loads, 1);
    EXPECT_EQ(observer.dirtyUpdates, 1);
    EXPECT_EQ(observer.lastStats.numTriangles, 12u);
    EXPECT_EQ(pipeline.model().coneSingularities.size(), 8u);
    const struct {
        const char* console;
        const char* file;
        int stage;
    } steps[] = {{"Model with singularities - using seam-separating weights.", "overlap_free.json", 1},
                 {"", "welded.json", 2},
                 {"Finished. Last score improvement: ", "bl_200.json", 3},
                 {"Finished. Last score improvement: ", "bl_200.json", 3}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.stage);
        EXPECT_NE(quietly([&] { pipeline.step(); }).find(s.console), std::string::npos);
        EXPECT_TRUE(fileExists(dir.file(s.file)));
        EXPECT_EQ(pipeline.stageCounter(), s.stage);
    }
    quietly([&] { pipeline.reload(); });
    EXPECT_EQ(pipeline.stageCounter(), 0);
    EXPECT_NE(quietly([&] { pipeline.step(); }).find("Model with singularities"), std::string::npos);
    EXPECT_EQ(pipeline.stageCounter(), 1);
}

// A refused input shows a box (only outside batch mode) and leaves nothing to run.
TEST_F(PipelineTest, RefusedInputShowsABoxOnlyOutsideBatchModeAndLeavesNothingToRun)
{
    const std::string bad = testsupport::writeTextFile(dir.file("bad.obj"), "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                                                             "f 1 2 3\no b\nf 1 3 2\n");
    quietly([&] { EXPECT_EQ(pipeline.loadModelFromFile(bad), LoadStatus::Rejected); });
    EXPECT_EQ(observer.rejections, (std::vector<std::string>{"Input Mesh Not Accepted|Cannot process input: must be a single chart."}));
    quietly([&] {
        pipeline.removeOverlapsTrivial();
        pipeline.runAll();
    });
    EXPECT_EQ(pipeline.stageCounter(), 0);
    EXPECT_FALSE(fileExists(dir.file("overlap_free.json")));
    pipeline.setBatchMode(true);
    quietly([&] { pipeline.loadModelFromFile(bad); });
    EXPECT_EQ(observer.rejections.size(), 1u);
}

TEST_F(PipelineTest, CancelStopsAtTheNextSafePointWithAConsistentLayout)
{
    quietly([&] { pipeline.loadModelFromFile(model); });
    // Cancel from the progress handler at the first refinement iteration.
    std::vector<std::string> stages;
    pipeline.control().setProgressHandler([&](const RunProgress& p) {
        stages.push_back(p.stage);
        return p.iteration < 0;
    });
    bool finished = true;
    const std::string out = quietly([&] { finished = pipeline.runAll(); });
    EXPECT_FALSE(finished);
    EXPECT_EQ(pipeline.stopPoint(), "during refinement");
    EXPECT_EQ(stages.front(), "Removing overlaps");
    EXPECT_EQ(stages.back(), "Refining");
    EXPECT_NE(out.find("Refinement cancelled after 1 iterations."), std::string::npos) << out;
    EXPECT_TRUE(fileExists(dir.file("welded.obj")));
    EXPECT_FALSE(fileExists(dir.file("bl_200.json")) || fileExists(dir.file("export.obj")));
    EXPECT_FALSE(pipeline.currentStats().overlapsFound);
    EXPECT_GE(pipeline.currentStats().numTriangles, 12u);

    // A cancellation before a stage leaves the stage counter as it was; each
    // row starts afresh and takes `steps` steps before the cancelled one.
    const struct {
        int steps;
        const char* stage;
        int iteration; // the first iteration refused (-1: the stage itself)
        const char* stopPoint;
    } rows[] = {{0, "Removing overlaps", -1, "before overlap removal"},
                {1, "Welding", -1, "before welding"},
                {2, "Refining", -1, "before refinement"},
                {2, "Refining", 1, "during refinement"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stopPoint);
        pipeline.control().setProgressHandler(nullptr);
        quietly([&] {
            pipeline.reload();
            for (int i = 0; i < row.steps; ++i)
                EXPECT_TRUE(pipeline.step());
        });
        pipeline.control().setProgressHandler(
            [&](const RunProgress& p) { return p.stage != row.stage || p.iteration < row.iteration; });
        quietly([&] { EXPECT_FALSE(pipeline.step()); });
        EXPECT_EQ(pipeline.stopPoint(), row.stopPoint);
        EXPECT_EQ(pipeline.stageCounter(), row.steps);
    }
    // The batch sequence reports where it stopped and ends with status 130.
    pipeline.control().setProgressHandler([](const RunProgress& p) { return p.stage != "Refining"; });
    pipeline.setBatchMode(true);
    int status = -1;
    const std::string batch = quietly([&] { status = runBatchPipeline(pipeline); });
    EXPECT_EQ(status, 130);
    EXPECT_NE(batch.find("Run cancelled after welding; the result files written before are complete."), std::string::npos);
}

// Result files that cannot be written where the program's own runs never get (a folder gone, names
// without ".obj", a texture on an untextured input) are reported and recorded; the other files of the
// stage are still written. Blocked files of real runs are e2e bad-input rows.
TEST_F(PipelineTest, UnwritableResultFilesAreReportedAndRecorded)
{
    RgbaImage texture(8, 8);
    for (uint8_t& byte : texture.pixels)
        byte = 200;
    // The image writer of the program is not linked here; a stand-in writes a file.
    setImageFileHandlers(nullptr, [](const RgbaImage&, const std::string& path, std::string& why) {
        why = "not writable";
        return std::ofstream(path, std::ios::binary).write("png", 3).good();
    });
    const std::string saddle = dir.file("saddle.obj");
    meshgen::writeOBJ(meshgen::saddle(2), saddle);
    const struct {
        const char* name;
        bool textured, glb, untextured; // texture set, glb written, untextured input
        const char* folder;  // the output folder, under the test folder
        const char* blocker; // a folder standing where a result file goes
        const char* console; // what is printed
        const char* written; // a file still written, or ""
    } rows[] = {
        {"missing folder", false, false, false, "none", "", "Unable to open file ", ""},
        {"texture, missing folder", true, false, false, "none", "", "Unable to open file ", ""},
        {"texture glb blocked", true, true, false, "", "r.mesh.glb", "Unable to write file ", "r.mesh_texture.png"},
        {"texture on untextured input", true, false, true, "", "", "Cannot resample the texture for ", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Pipeline p;
        quietly([&] { p.loadModelFromFile(row.untextured ? saddle : model); });
        testsupport::removeTree(dir.file("r"));
        std::filesystem::create_directories(dir.file("r/") + row.blocker);
        p.setOutputDirectory(dir.file("r/") + row.folder);
        p.setWriteGLB(row.glb);
        if (row.textured)
            p.setTexture(texture, "t.png");
        const std::string console = quietly([&] {
            p.writeResultJSON("r.json");
            p.exportResults("r.svg", row.textured ? "r.mesh" : "r.obj", "");
        });
        EXPECT_TRUE(p.writeFailed());
        EXPECT_NE(console.find(row.console), std::string::npos) << console;
        EXPECT_TRUE(!*row.written || fileExists(dir.file("r/") + row.written)) << row.written;
    }
    Pipeline p;
    TexturedLayout layout;
    std::string why;
    p.setTexture(texture, "t.png");
    p.clearTexture();
    EXPECT_FALSE(p.hasTexture() || p.texturedLayout(layout, why));
    EXPECT_EQ(why, "no texture is loaded");
    p.setOutputDirectory(dir.path());
    EXPECT_EQ(quietly([&] { p.exportResults("", "", "s.png"); }),
              "Skipping snapshot " + dir.file("s.png") + ": no 3D view is available.\n");
    // With result files disabled a chart without halfedges is not dumped.
    const std::string nonManifold = testsupport::writeTextFile(
        dir.file("nm.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nvt 0 0\nvt 1 0\nvt 0 1\nvt 0 -1\nvt 0.5 0.5\n"
                            "f 1/1 2/2 3/3\nf 2/2 1/1 4/4\nf 1/1 2/2 5/5\n");
    p.setResultFilesEnabled(false);
    EXPECT_NE(quietly([&] { EXPECT_EQ(p.loadModelFromFile(nonManifold), LoadStatus::Loaded); }).find("Cannot construct"),
              std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("error.obj")));
    setImageFileHandlers(nullptr, nullptr);
}

// A SIGTERM during the batch sequence ends it at the next safe point with
// status 143, saying where; a later run in the same process stops at once. A
// model file gone before the reload stops the run with status 2.
TEST(InterruptedBatch, EndsAtTheNextSafePointWithTheSignalStatus)
{
    struct SignallingObserver : RecordingObserver {
        std::string when, model; // with a model, it is removed instead of a signal
        bool saveSnapshot(const std::string& png, std::string&) override
        {
            if (png.find(when) != std::string::npos && model.empty())
                std::raise(SIGTERM);
            else if (png.find(when) != std::string::npos)
                std::remove(model.c_str());
            return true;
        }
    };
    const struct {
        const char* snapshot; // the signal comes while this one is saved
        int runs;
        bool removeModel;
        int status;
        const char* console;
    } rows[] = {{"input3D.png", 1, false, 143, "Interrupted by SIGTERM after the input files"},
                {"input3D.png", 2, false, 143, "Interrupted by SIGTERM after loading"},
                {"overlap_free_levy3D.png", 1, false, 143, "Interrupted by SIGTERM after the plain overlap removal"},
                {"export3D.png", 1, false, 143, "Interrupted by SIGTERM after the last stage"},
                {"overlap_free_levy3D.png", 1, true, 2, "Batch run stopped: the input could not be reloaded."}};
    for (const auto& row : rows) {
        EXPECT_EXIT(
            {
                std::cout.rdbuf(std::cerr.rdbuf());
                testsupport::TempDir dir("tarnwick_signal");
                meshgen::writeOBJ(meshgen::cubeNet(1), dir.file("cube.obj"));
                SignallingObserver observer;
                observer.when = row.snapshot;
                observer.model = row.removeModel ? dir.file("cube.obj") : "";
                Pipeline pipeline;
                pipeline.setBatchMode(true);
                pipeline.setObserver(&observer);
                pipeline.setOutputDirectory(dir.path());
                pipeline.loadModelFromFile(dir.file("cube.obj"));
                int status = runBatchPipeline(pipeline);
                if (row.runs == 2)
                    status = runBatchPipeline(pipeline);
                std::cout.flush();
                testsupport::removeTree(dir.path()); // exit unwinds no stack
                std::exit(status);
            },
            testing::ExitedWithCode(row.status), row.console);
    }
}
