#include "app/pipeline.h"
#include "meshgen/meshgen.h"
#include "support/test_support.h"
#include "app/model_loading.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct RecordingObserver : PipelineObserver {
    int dirtyUpdates = 0;
    int statsOnlyUpdates = 0;
    int positions = 0;
    int loads = 0;
    std::vector<std::string> rejections;
    UnwrappingStats lastStats;

    void displayUpdated(bool dirty, const UnwrappingStats& stats) override
    {
        (dirty ? dirtyUpdates : statsOnlyUpdates)++;
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

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = testsupport::makeTempDir("tarnwick_pipeline");
        model = dir + "/cube.obj";
        meshgen::writeOBJ(meshgen::cubeNet(1), model);
        pipeline.setObserver(&observer);
    }
    void TearDown() override { testsupport::removeTree(dir); }

    // Runs fn in the temporary directory with the console captured.
    template <typename Fn>
    std::string quietly(Fn fn)
    {
        std::string out;
        testsupport::inDirectory(dir, [&] {
            testing::internal::CaptureStdout();
            fn();
            out = testing::internal::GetCapturedStdout();
        });
        return out;
    }

    std::string dir;
    std::string model;
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
        EXPECT_TRUE(fileExists(dir + "/" + s.file));
        EXPECT_EQ(pipeline.stageCounter(), s.stage);
    }
    quietly([&] { pipeline.reload(); });
    EXPECT_EQ(pipeline.stageCounter(), 0);
    EXPECT_NE(quietly([&] { pipeline.step(); }).find("Model with singularities"), std::string::npos);
    EXPECT_EQ(pipeline.stageCounter(), 1);
}

TEST_F(PipelineTest, RefusedInputShowsABoxOnlyOutsideBatchModeAndLeavesNothingToRun)
{
    const std::string bad = testsupport::writeTextFile(dir + "/bad.obj", "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                                                          "f 1 2 3\no b\nf 1 3 2\n");
    quietly([&] { EXPECT_EQ(pipeline.loadModelFromFile(bad), LoadStatus::Rejected); });
    EXPECT_EQ(observer.rejections, (std::vector<std::string>{"Input Mesh Not Accepted|Cannot process input: must be a single chart."}));
    quietly([&] {
        pipeline.removeOverlapsTrivial();
        pipeline.runAll();
    });
    EXPECT_EQ(pipeline.stageCounter(), 0);
    EXPECT_FALSE(fileExists(dir + "/overlap_free.json"));

    pipeline.setBatchMode(true);
    int status = -1;
    const std::string out = quietly([&] {
        pipeline.loadModelFromFile(bad);
        status = runBatchPipeline(pipeline);
    });
    EXPECT_EQ(status, 2);
    EXPECT_EQ(observer.rejections.size(), 1u);
    EXPECT_NE(out.find("Input must be a single chart."), std::string::npos);
    EXPECT_FALSE(fileExists(dir + "/input.json"));
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
    EXPECT_TRUE(fileExists(dir + "/welded.obj"));
    EXPECT_FALSE(fileExists(dir + "/bl_200.json"));
    EXPECT_FALSE(fileExists(dir + "/export.obj"));
    const UnwrappingStats stats = pipeline.currentStats();
    EXPECT_FALSE(stats.overlapsFound);
    EXPECT_GE(stats.numTriangles, 12u);

    // A cancellation before a stage leaves the model as it was; the next run
    // starts afresh and gets into the refinement again.
    pipeline.control().setProgressHandler([](const RunProgress&) { return false; });
    quietly([&] { EXPECT_FALSE(pipeline.step()); });
    EXPECT_EQ(pipeline.stopPoint(), "before refinement");
    pipeline.control().setProgressHandler([](const RunProgress& p) { return p.iteration < 1; });
    quietly([&] { EXPECT_FALSE(pipeline.step()); });
    EXPECT_EQ(pipeline.stopPoint(), "during refinement");
}
