// Runs the real program in batch mode on generated models and checks the
// result files and the console report.
#include "e2e_support.h"
#include "meshgen/meshgen.h"
#include "io/obj_reader.h"
#include "support/png_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <sys/stat.h>

using namespace e2e;

namespace {

const std::vector<std::string> kJsonFamilies = {"input",  "overlap_free_levy", "overlap_free", "welded",
                                                "bl_130", "bl_150",            "bl_200"};
const std::vector<std::string> kDrawnFamilies = {"input",  "overlap_free_levy", "overlap_free", "welded", "bl_130",
                                                 "bl_150", "bl_200",            "export"};
const std::vector<std::string> kSnapshots = {"input3D.png",  "overlap_free_levy3D.png", "overlap_free3D.png",
                                             "welded.png",   "bl_130_3D.png",           "bl_150_3D.png",
                                             "bl_200_3D.png", "export3D.png"};
const std::vector<std::string> kKeys = {"boxifyTime",        "numVertices", "numTriangles", "numCharts",
                                        "packingEfficiency", "normBLen",    "flipsFound",   "overlapsFound"};

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

struct Scenario {
    std::string name;
    meshgen::MeshData mesh;
    std::vector<std::string> extraArgs;
    std::vector<std::string> env;
};

// One batch run per scenario, shared by the checks below.
class BatchRunTest : public ::testing::TestWithParam<int> {
public:
    static std::vector<Scenario>& scenarios()
    {
        static std::vector<Scenario> list = [] {
            std::vector<Scenario> s;
            meshgen::MeshData cube = meshgen::cubeNet(3);
            meshgen::addColors(cube);
            s.push_back({"cube_cones_colours", cube, {}, {}});
            s.push_back({"cylinder_square", meshgen::openCylinder(16, 6), {"--square"}, {}});
            meshgen::MeshData cap = meshgen::sphericalCap(6, 1.2);
            s.push_back({"untextured_cap", cap, {}, {}});
            // The same model without any display, and with a display that is gone:
            // batch runs draw their snapshots offscreen either way.
            s.push_back({"cube_no_display", meshgen::cubeNet(2), {}, {"DISPLAY=", "WAYLAND_DISPLAY="}});
            s.push_back({"cube_stale_display", meshgen::cubeNet(2), {}, {"DISPLAY=:4177", "WAYLAND_DISPLAY="}});
            return s;
        }();
        return list;
    }

    static const BatchRun& run(int index)
    {
        static std::map<int, BatchRun> runs;
        auto it = runs.find(index);
        if (it == runs.end()) {
            const Scenario& sc = scenarios()[size_t(index)];
            const std::string dir = testsupport::makeTempDir("tarnwick_model");
            const std::string model = dir + "/" + sc.name + ".obj";
            meshgen::writeOBJ(sc.mesh, model);
            it = runs.emplace(index, runBatch(model, sc.extraArgs, sc.env)).first;
            modelPaths()[index] = model;
        }
        return it->second;
    }

    static std::map<int, std::string>& modelPaths()
    {
        static std::map<int, std::string> paths;
        return paths;
    }

    const Scenario& scenario() const { return scenarios()[size_t(GetParam())]; }
    const BatchRun& batch() const { return run(GetParam()); }
};

std::string scenarioName(const ::testing::TestParamInfo<int>& info)
{
    return BatchRunTest::scenarios()[size_t(info.param)].name;
}

} // namespace

TEST_P(BatchRunTest, ExitsZeroWithEveryResultFile)
{
    const BatchRun& b = batch();
    ASSERT_FALSE(b.result.timedOut);
    ASSERT_EQ(b.result.exitStatus, 0) << b.result.out.substr(b.result.out.size() > 4000 ? b.result.out.size() - 4000 : 0)
                                      << b.result.err;
    for (const std::string& f : kJsonFamilies)
        EXPECT_TRUE(exists(b.dir + "/" + f + ".json")) << f;
    for (const std::string& f : kDrawnFamilies) {
        EXPECT_TRUE(exists(b.dir + "/" + f + ".svg")) << f;
        EXPECT_TRUE(exists(b.dir + "/" + f + ".obj")) << f;
    }
    EXPECT_FALSE(exists(b.dir + "/export.json"));
}

TEST_P(BatchRunTest, StatisticsFilesParseAndMatchTheConsole)
{
    const BatchRun& b = batch();
    const std::vector<std::string> blocks = consoleStatsBlocks(b.result.out);
    ASSERT_GE(blocks.size(), kJsonFamilies.size());
    for (size_t i = 0; i < kJsonFamilies.size(); ++i) {
        SCOPED_TRACE(kJsonFamilies[i]);
        const std::string path = b.dir + "/" + kJsonFamilies[i] + ".json";
        Stats stats;
        std::string error;
        ASSERT_TRUE(readStats(path, stats, error)) << error;
        ASSERT_EQ(stats.size(), kKeys.size());
        for (size_t k = 0; k < kKeys.size(); ++k)
            EXPECT_EQ(stats[k].first, kKeys[k]);
        const std::string body = testsupport::readTextFile(path);
        EXPECT_NE(std::find(blocks.begin(), blocks.end(), body), blocks.end());
    }
    // The first four blocks are input, plain overlap removal, overlap removal
    // and welding, in that order; the last one is bl_200.
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(blocks[i], testsupport::readTextFile(b.dir + "/" + kJsonFamilies[i] + ".json")) << i;
    EXPECT_EQ(blocks.back(), testsupport::readTextFile(b.dir + "/bl_200.json"));
}

TEST_P(BatchRunTest, LayoutsAreValidFromOverlapRemovalOn)
{
    const BatchRun& b = batch();
    Stats welded, bl200, input;
    std::string error;
    ASSERT_TRUE(readStats(b.dir + "/welded.json", welded, error)) << error;
    ASSERT_TRUE(readStats(b.dir + "/bl_200.json", bl200, error)) << error;
    ASSERT_TRUE(readStats(b.dir + "/input.json", input, error)) << error;
    for (const std::string f : {"overlap_free", "welded", "bl_130", "bl_150", "bl_200"}) {
        Stats s;
        ASSERT_TRUE(readStats(b.dir + "/" + f + ".json", s, error)) << error;
        for (const auto& kv : s) {
            if (kv.first == "overlapsFound") {
                EXPECT_EQ(kv.second, "false") << f;
            }
        }
    }
    EXPECT_LE(statValue(bl200, "normBLen"), 2.0 * statValue(welded, "normBLen") + 1e-9);
    EXPECT_GE(statValue(bl200, "packingEfficiency"), statValue(welded, "packingEfficiency") - 1e-9);
    EXPECT_EQ(statValue(input, "boxifyTime"), 0.0);
    EXPECT_GT(statValue(bl200, "packingEfficiency"), 0.0);
}

TEST_P(BatchRunTest, DrawingsAreWellFormedWithOnePolygonPerTriangle)
{
    const BatchRun& b = batch();
    for (const std::string& f : kJsonFamilies) {
        SCOPED_TRACE(f);
        Stats s;
        std::string error;
        ASSERT_TRUE(readStats(b.dir + "/" + f + ".json", s, error));
        const testsupport::XmlSummary xml = testsupport::checkXml(testsupport::readTextFile(b.dir + "/" + f + ".svg"));
        ASSERT_TRUE(xml.wellFormed) << xml.error;
        EXPECT_EQ(xml.count("svg"), 1u);
        EXPECT_EQ(xml.count("rect"), 1u);
        const size_t triangles = size_t(statValue(s, "numTriangles"));
        const size_t charts = size_t(statValue(s, "numCharts"));
        // One polygon per triangle plus at least one outline per chart.
        EXPECT_GE(xml.count("polygon"), triangles + charts);
        EXPECT_LE(xml.count("polygon"), triangles + 3 * triangles);
    }
}

TEST_P(BatchRunTest, ExportedMeshesLoadBack)
{
    const BatchRun& b = batch();
    const std::string original = modelPaths()[GetParam()];
    testing::internal::CaptureStdout();
    ChartList inputCharts;
    iuv::DoubleVector inputPositions, inputColors;
    iuv::UIntVector inputCones;
    ASSERT_TRUE(loadOBJ(original, inputCharts, inputPositions, inputColors, &inputCones));
    for (const std::string& f : kDrawnFamilies) {
        SCOPED_TRACE(f);
        ChartList charts;
        iuv::DoubleVector positions, colors;
        iuv::UIntVector cones;
        ASSERT_TRUE(loadOBJ(b.dir + "/" + f + ".obj", charts, positions, colors, &cones));
        ASSERT_EQ(charts.size(), 1u);
        EXPECT_EQ(cones, inputCones);
        EXPECT_EQ(colors.empty(), scenario().mesh.colors.empty());
        for (uint32_t p : charts[0].triIndicesPos)
            EXPECT_LT(p, positions.size() / 3);
        if (f != "export") {
            Stats s;
            std::string error;
            ASSERT_TRUE(readStats(b.dir + "/" + f + ".json", s, error));
            EXPECT_EQ(charts[0].numTriangles(), size_t(statValue(s, "numTriangles")));
            EXPECT_EQ(positions.size() / 3, size_t(statValue(s, "numVertices")));
        }
        // The OBJ's texture coordinates fill the unit square with the longer side 1.
        const UVBox box = chartUVBounds(charts[0]);
        EXPECT_NEAR(box.minU, 0.0, 1e-6);
        EXPECT_NEAR(box.minV, 0.0, 1e-6);
        EXPECT_NEAR(std::max(box.maxU, box.maxV), 1.0, 1e-6);
    }
    testing::internal::GetCapturedStdout();
}

TEST_P(BatchRunTest, ConsoleFollowsTheStageOrder)
{
    const BatchRun& b = batch();
    const std::vector<std::string> lines = splitLines(b.result.out);
    const bool cones = !scenario().mesh.cones.empty();
    const std::vector<std::string> order = {
        "Loading ",
        "Successfully loaded.",
        "Read 1 parts, including ",
        "Packing charts ...",
        "//BEGIN STATS", // input
        "//BEGIN STATS", // overlap_free_levy
        "Loading ",      // reload
        cones ? "Model with singularities - using seam-separating weights."
              : "Model without singularities - no welding will be performed.",
        "//BEGIN STATS", // overlap_free
        cones ? "//BEGIN STATS" : "Model without singularities - no welding will be performed.",
        "Finished. Last score improvement: ",
        "Terminated due to lack of improvement?  ",
        "Terminated due to max. boundary length? ",
        "Terminated due to number of iterations? ",
        "Terminated due to time limit?           ",
        "Terminated due to no empty spaces?      ",
        "Terminated due to number of pieces?     ",
        "//BEGIN STATS",
    };
    long at = 0;
    for (const std::string& prefix : order) {
        const long found = findLine(lines, prefix, at);
        ASSERT_GE(found, 0) << "missing after line " << at << ": " << prefix;
        at = found + 1;
    }
    // Nothing but skipped snapshots follows the last statistics block.
    size_t last = lines.size();
    while (last > 0 && lines[last - 1].compare(0, 17, "Skipping snapshot") == 0)
        --last;
    ASSERT_GT(last, 0u);
    EXPECT_EQ(lines[last - 1], "//END STATS");
}

TEST_P(BatchRunTest, EverySnapshotIsANonBlankFrameOfTheView)
{
    const BatchRun& b = batch();
    EXPECT_EQ(b.result.out.find("Skipping snapshot"), std::string::npos);
    for (const std::string& png : kSnapshots) {
        SCOPED_TRACE(png);
        testsupport::RgbImage image;
        std::string error;
        ASSERT_TRUE(testsupport::readPng(b.dir + "/" + png, image, error)) << error;
        EXPECT_EQ(image.width, 800);
        EXPECT_EQ(image.height, 786);
        // The mesh covers a good part of the window-grey background, shaded
        // checkered and edged with tubes.
        EXPECT_GT(image.pixelsOtherThan(238, 238, 238), size_t(image.width) * image.height / 20);
        EXPECT_GE(image.distinctColours(), 4u);
    }
}

// Every file of a run, with the processor-time figure of the statistics masked.
std::map<std::string, std::string> resultFiles(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".obj") == std::string::npos && name.find(".json") == std::string::npos &&
            name.find(".svg") == std::string::npos && name.find(".png") == std::string::npos)
            continue;
        std::string text = testsupport::readTextFile(entry.path().string());
        const size_t at = text.find("\"boxifyTime\":");
        if (at != std::string::npos)
            text.erase(at, text.find(',', at) - at);
        files[name] = text;
    }
    return files;
}

TEST(BatchRunDisplay, AStaleDisplayChangesNothing)
{
    const auto& scenarios = BatchRunTest::scenarios();
    int without = -1, stale = -1;
    for (size_t i = 0; i < scenarios.size(); ++i) {
        if (scenarios[i].name == "cube_no_display")
            without = int(i);
        if (scenarios[i].name == "cube_stale_display")
            stale = int(i);
    }
    ASSERT_GE(without, 0);
    ASSERT_GE(stale, 0);
    const BatchRun& a = BatchRunTest::run(without);
    const BatchRun& b = BatchRunTest::run(stale);
    ASSERT_EQ(a.result.exitStatus, 0);
    ASSERT_EQ(b.result.exitStatus, 0) << b.result.out.substr(0, 2000);
    const auto filesA = resultFiles(a.dir), filesB = resultFiles(b.dir);
    ASSERT_EQ(filesA.size(), 31u); // 7 statistics, 8 drawings, 8 meshes, 8 snapshots
    ASSERT_EQ(filesA.size(), filesB.size());
    for (const auto& [name, content] : filesA) {
        const auto it = filesB.find(name);
        ASSERT_NE(it, filesB.end()) << name;
        EXPECT_TRUE(content == it->second) << name << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Models, BatchRunTest, ::testing::Range(0, 5), scenarioName);
