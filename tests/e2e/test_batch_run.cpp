// Batch runs of the examples and of generated models: the result files, read
// with parsers of the test's own, against each other, the input and the
// console; and the same results whatever the thread count, the display or the
// output folder.
#include "e2e_support.h"
#include "support/png_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

using namespace e2e;

namespace {

const std::vector<std::string> kKeys = {"boxifyTime",        "numVertices", "numTriangles", "numCharts",
                                        "packingEfficiency", "normBLen",    "flipsFound",   "overlapsFound"};

std::set<std::string> expectedFiles()
{
    std::set<std::string> names;
    for (const std::string& f : kFamilies) {
        for (const char* ext : {".obj", ".svg"})
            names.insert(f + ext);
        if (f != "export")
            names.insert(f + ".json");
        names.insert(f == "welded" ? "welded.png" : f + (f.compare(0, 3, "bl_") == 0 ? "_3D.png" : "3D.png"));
    }
    return names; // 7 statistics, 8 drawings, 8 meshes, 8 snapshots
}

// The console's stage order; the welding lines depend on the cones.
void expectStageOrder(const std::string& console, bool cones)
{
    const std::vector<std::string> order = {
        "Loading ", "Successfully loaded.", "Read 1 parts, including ", "Packing charts ...",
        "//BEGIN STATS", "//BEGIN STATS", "Loading ",
        cones ? "Model with singularities - using seam-separating weights."
              : "Model without singularities - no welding will be performed.",
        "//BEGIN STATS",
        cones ? "//BEGIN STATS" : "Model without singularities - no welding will be performed.",
        "Finished. Last score improvement: ", "Terminated due to lack of improvement?  ",
        "Terminated due to max. boundary length? ", "Terminated due to number of iterations? ",
        "Terminated due to time limit?           ", "Terminated due to no empty spaces?      ",
        "Terminated due to number of pieces?     ", "//BEGIN STATS"};
    const std::vector<std::string> lines = splitLines(console);
    size_t at = 0;
    for (const std::string& prefix : order) {
        while (at < lines.size() && lines[at].compare(0, prefix.size(), prefix) != 0)
            ++at;
        ASSERT_LT(at, lines.size()) << "missing: " << prefix;
        ++at;
    }
    EXPECT_EQ(lines.back(), "//END STATS");
}

void expectConsistentRun(const RunSetup& setup, const BatchRun& b)
{
    ASSERT_EQ(b.result.exitStatus, 0) << b.result.out.substr(b.result.out.size() > 3000 ? b.result.out.size() - 3000 : 0)
                                      << b.result.err;
    EXPECT_EQ(filesIn(b.dir), expectedFiles());
    ObjMesh input;
    std::string error;
    ASSERT_TRUE(readObj(setup.model, input, error)) << error;
    expectStageOrder(b.result.out, !input.cones.empty());

    // Every statistics file is a block of the console; the first four and the
    // last in the order of the stages.
    const std::vector<std::string> blocks = consoleStatsBlocks(b.result.out);
    ASSERT_GE(blocks.size(), 7u);
    std::map<std::string, Stats> stats;
    for (size_t i = 0; i + 1 < kFamilies.size(); ++i) {
        const std::string& f = kFamilies[i];
        SCOPED_TRACE(f);
        const std::string text = testsupport::readTextFile(b.dir + "/" + f + ".json");
        ASSERT_TRUE(readStats(b.dir + "/" + f + ".json", stats[f], error)) << error;
        ASSERT_EQ(stats[f].size(), kKeys.size());
        for (size_t k = 0; k < kKeys.size(); ++k)
            EXPECT_EQ(stats[f][k].first, kKeys[k]);
        EXPECT_TRUE(i < 4 ? blocks[i] == text : f != "bl_200" || blocks.back() == text);
        EXPECT_NE(std::find(blocks.begin(), blocks.end(), text), blocks.end());
    }
    EXPECT_EQ(statValue(stats["input"], "boxifyTime"), 0.0);
    EXPECT_LE(statValue(stats["bl_200"], "normBLen"), 2.0 * statValue(stats["welded"], "normBLen") + 1e-9);
    EXPECT_GE(statValue(stats["bl_200"], "packingEfficiency"), statValue(stats["welded"], "packingEfficiency") - 1e-9);

    for (const std::string& f : kFamilies) {
        SCOPED_TRACE(f);
        const Stats& s = stats[f == "export" ? "bl_200" : f];
        // One polygon per triangle plus at least one outline per chart.
        const testsupport::XmlSummary xml = testsupport::checkXml(testsupport::readTextFile(b.dir + "/" + f + ".svg"));
        ASSERT_TRUE(xml.wellFormed) << xml.error;
        EXPECT_EQ(xml.count("svg"), 1u);
        EXPECT_EQ(xml.count("rect"), 1u);
        const size_t triangles = size_t(statValue(s, "numTriangles"));
        EXPECT_GE(xml.count("polygon"), triangles + size_t(statValue(s, "numCharts")));
        EXPECT_LE(xml.count("polygon"), 4 * triangles);

        // The mesh keeps the input's cones and colours; its texture
        // coordinates fill the unit square with the longer side 1.
        ObjMesh mesh;
        ASSERT_TRUE(readObj(b.dir + "/" + f + ".obj", mesh, error)) << error;
        EXPECT_EQ(mesh.cones, input.cones);
        EXPECT_EQ(mesh.colours.empty(), input.colours.empty());
        EXPECT_EQ(mesh.triangles(), triangles);
        EXPECT_EQ(mesh.positions.size() / 3, size_t(statValue(s, "numVertices")));
        ASSERT_FALSE(mesh.uvs.empty());
        double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
        for (size_t i = 0; i < mesh.uvs.size(); ++i) {
            lo[i % 2] = std::min(lo[i % 2], mesh.uvs[i]);
            hi[i % 2] = std::max(hi[i % 2], mesh.uvs[i]);
        }
        EXPECT_NEAR(lo[0], 0.0, 1e-6);
        EXPECT_NEAR(lo[1], 0.0, 1e-6);
        EXPECT_NEAR(std::max(hi[0], hi[1]), 1.0, 1e-6);
    }
    // Snapshots: frames of the view, the mesh covering a part of the
    // window-grey background, shaded checkered and edged with tubes.
    EXPECT_EQ(b.result.out.find("Skipping snapshot"), std::string::npos);
    for (const std::string& png : expectedFiles()) {
        if (png.find(".png") == std::string::npos)
            continue;
        SCOPED_TRACE(png);
        testsupport::RgbImage image;
        ASSERT_TRUE(testsupport::readPng(b.dir + "/" + png, image, error)) << error;
        EXPECT_EQ(image.width, 800);
        EXPECT_EQ(image.height, 786);
        EXPECT_GT(image.pixelsOtherThan(238, 238, 238), size_t(image.width) * image.height / 100);
        EXPECT_GE(image.distinctColours(), 4u);
    }
}

size_t countLines(const std::string& text, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : splitLines(text))
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

TEST(BatchRun, EveryStandardRunWritesConsistentResults)
{
    startSharedRuns(standardRuns());
    for (const RunSetup& setup : standardRuns()) {
        SCOPED_TRACE(setup.name);
        expectConsistentRun(setup, sharedRun(setup));
    }
}

// cube_net on one thread, without a display, into an output folder, against
// the shared run on two threads with a display that is gone: the same files
// and console. While it runs, a second run into its folder is refused and a
// run into a folder of its own beside it keeps its own results.
TEST(BatchRun, ThreadsDisplayAndOutputFolderChangeNoResult)
{
    RunSetup cube;
    for (const RunSetup& s : standardRuns())
        if (s.name == "cube_net")
            cube = s;
    const BatchRun& reference = sharedRun(cube);
    ASSERT_EQ(reference.result.exitStatus, 0);
    // The model must exercise the searches: several steps that cut.
    EXPECT_GE(countLines(reference.result.out, "> Picking a"), 4u);
    EXPECT_GE(countLines(reference.result.out, "> Picking a local"), 1u);
    EXPECT_GE(countLines(reference.result.out, "Found feasible configuration with score "), 12u);

    testsupport::TempDir work("tarnwick_work");
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY="};
    auto run = [&](const std::string& model, const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {model, "--batchmode", "--output", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return testsupport::runProcess(programPath(), args, work.path(), noDisplay, 600);
    };
    auto first = std::async(std::launch::async, [&] { return run(cube.model, "results/cube", {"--threads", "1"}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (!filesIn(work.file("results/cube")).count("input.json") && std::chrono::steady_clock::now() < deadline &&
           first.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool firstRunning = first.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
    const testsupport::ProcessResult second = run(cube.model, "results/cube", {});
    const testsupport::ProcessResult beside =
        run(generatedModel("cylinder", meshgen::openCylinder(8, 2)), "beside", {});
    const testsupport::ProcessResult a = first.get();
    ASSERT_EQ(a.exitStatus, 0) << a.out;
    if (firstRunning) {
        EXPECT_EQ(second.exitStatus, 2) << second.out;
        EXPECT_NE(second.out.find("The output folder results/cube is in use by another run."), std::string::npos)
            << second.out;
    }
    EXPECT_EQ(withoutTimes(a.out), withoutTimes(reference.result.out));
    EXPECT_EQ(filesIn(work.path()), (std::set<std::string>{"results", "beside"}));
    EXPECT_EQ(filesIn(work.file("results")), std::set<std::string>{"cube"});
    EXPECT_EQ(filesIn(work.file("results/cube")), filesIn(reference.dir));
    for (const std::string& name : filesIn(reference.dir)) {
        const std::string x = testsupport::readTextFile(work.file("results/cube/" + name));
        const std::string y = testsupport::readTextFile(reference.dir + "/" + name);
        EXPECT_TRUE(x == y || withoutTimes(x) == withoutTimes(y)) << name << " differs";
    }

    ASSERT_EQ(beside.exitStatus, 0) << beside.out;
    const std::vector<std::string> blocks = consoleStatsBlocks(beside.out);
    ASSERT_GE(blocks.size(), 7u);
    EXPECT_EQ(testsupport::readTextFile(work.file("beside/input.json")), blocks[0]);
    EXPECT_EQ(testsupport::readTextFile(work.file("beside/bl_200.json")), blocks.back());
    EXPECT_EQ(filesIn(work.file("beside")).size(), 31u);
}
