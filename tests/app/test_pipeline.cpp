// The pipeline object in-process: its cancellation points and write failures (the real program's messages
// and exit statuses are the e2e tests').
#include "app/pipeline.h"
#include "meshgen/meshgen.h"
#include "support/test_support.h"
#include "texture/image_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// An observer that takes every snapshot as saved.
struct QuietObserver : PipelineObserver {
    void displayUpdated(bool, const UnwrappingStats&) override {}
    void positionsChanged(const iuv::DoubleVector&) override {}
    void loadFinished() override {}
    void inputRejected(const std::string&, const std::string&) override {}
    bool saveSnapshot(const std::string&, std::string&) override { return true; }
};

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
    QuietObserver observer;
};

} // namespace

// A cancellation before a stage, or during the refinement, leaves the stage counter as it was; each row
// starts afresh and takes `steps` steps before the cancelled one.
TEST_F(PipelineTest, CancelStopsAtTheNextSafePoint)
{
    quietly([&] { pipeline.loadModelFromFile(model); });
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
    const RgbaImage texture(8, 8);
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
        {"glb blocked", false, true, false, "", "r.glb", "Unable to write file ", "r.obj"},
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
        EXPECT_TRUE(!*row.written || std::filesystem::exists(dir.file("r/") + row.written)) << row.written;
    }
    Pipeline p;
    TexturedLayout layout;
    std::string why;
    p.setTexture(texture, "t.png");
    p.clearTexture();
    EXPECT_FALSE(p.hasTexture() || p.texturedLayout(layout, why));
    EXPECT_EQ(why, "no texture is loaded");
    setImageFileHandlers(nullptr, nullptr);
}
