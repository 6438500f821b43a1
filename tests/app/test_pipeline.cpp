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
    std::vector<std::string> snapshots;
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
    bool saveSnapshot(const std::string& png, std::string& whyNot) override
    {
        snapshots.push_back(png);
        whyNot = "test";
        return true;
    }
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
        meshgen::writeOBJ(meshgen::cubeNet(2), model);
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

TEST_F(PipelineTest, LoadNotifiesAndUpdatesTheDisplay)
{
    quietly([&] { EXPECT_EQ(pipeline.loadModelFromFile(model), LoadStatus::Loaded); });
    EXPECT_EQ(observer.positions, 1);
    EXPECT_EQ(observer.loads, 1);
    EXPECT_EQ(observer.dirtyUpdates, 1);
    EXPECT_EQ(observer.lastStats.numTriangles, 48u);
    EXPECT_EQ(pipeline.model().coneSingularities.size(), 8u);
    EXPECT_EQ(pipeline.stageCounter(), 0);
    EXPECT_EQ(pipeline.modelFileName(), model);
}

TEST_F(PipelineTest, StepRunsTheStagesInOrderAndReloadResets)
{
    quietly([&] { pipeline.loadModelFromFile(model); });
    const std::string first = quietly([&] { pipeline.step(); });
    EXPECT_NE(first.find("Model with singularities - using seam-separating weights."), std::string::npos);
    EXPECT_TRUE(fileExists(dir + "/overlap_free.json"));
    EXPECT_EQ(pipeline.stageCounter(), 1);

    quietly([&] { pipeline.step(); });
    EXPECT_TRUE(fileExists(dir + "/welded.json"));
    EXPECT_EQ(pipeline.stageCounter(), 2);
    EXPECT_DOUBLE_EQ(pipeline.referenceNormBLen(), pipeline.currentStats().normBLen);

    for (int press = 0; press < 2; ++press) {
        const std::string out = quietly([&] { pipeline.step(); });
        EXPECT_NE(out.find("Finished. Last score improvement: "), std::string::npos) << press;
        EXPECT_TRUE(fileExists(dir + "/bl_200.json"));
        EXPECT_EQ(pipeline.stageCounter(), 3);
    }

    quietly([&] { pipeline.reload(); });
    EXPECT_EQ(pipeline.stageCounter(), 0);
    const std::string again = quietly([&] { pipeline.step(); });
    EXPECT_NE(again.find("Model with singularities"), std::string::npos);
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

TEST_F(PipelineTest, UnwritableFilesGiveStatusThreeButTheSequenceCompletes)
{
    pipeline.setBatchMode(true);
    ASSERT_EQ(mkdir((dir + "/input.obj").c_str(), 0755), 0);
    int status = -1;
    const std::string out = quietly([&] {
        pipeline.loadModelFromFile(model);
        status = runBatchPipeline(pipeline);
    });
    EXPECT_EQ(status, 3);
    // The directory under the name cannot be replaced by the finished file.
    EXPECT_NE(out.find("Unable to write file input.obj completely."), std::string::npos);
    // The snapshot of a failed OBJ export is skipped; everything else goes on.
    EXPECT_EQ(std::count(observer.snapshots.begin(), observer.snapshots.end(), "input3D.png"), 0);
    EXPECT_TRUE(pipeline.writeFailed());
    EXPECT_EQ(pipeline.stageCounter(), 3);
    for (const char* name : {"overlap_free.svg", "welded.obj", "bl_130.json", "bl_150.svg", "bl_200.obj",
                             "export.svg", "export.obj"})
        EXPECT_TRUE(fileExists(dir + "/" + name)) << name;
    ASSERT_GE(observer.snapshots.size(), 4u);
    EXPECT_EQ(observer.snapshots[observer.snapshots.size() - 2], "bl_200_3D.png");
    EXPECT_EQ(observer.snapshots.back(), "export3D.png");
    // The final layout starts at the UV origin.
    const UVBox box = chartListUVBounds(pipeline.model().charts);
    EXPECT_NEAR(box.minU, 0.0, 1e-12);
    EXPECT_NEAR(box.minV, 0.0, 1e-12);
    EXPECT_GT(pipeline.boxifyTime(), 0.0);
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
    EXPECT_GE(stats.numTriangles, 48u);

    // A cancellation before a stage leaves the model as it was; the next run
    // starts afresh and gets into the refinement again.
    pipeline.control().setProgressHandler([](const RunProgress&) { return false; });
    quietly([&] { EXPECT_FALSE(pipeline.step()); });
    EXPECT_EQ(pipeline.stopPoint(), "before refinement");
    pipeline.control().setProgressHandler([](const RunProgress& p) { return p.iteration < 1; });
    quietly([&] { EXPECT_FALSE(pipeline.step()); });
    EXPECT_EQ(pipeline.stopPoint(), "during refinement");
}
