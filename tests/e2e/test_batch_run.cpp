// Batch runs of the examples and of generated models: the result files, read with parsers of the test's
// own, against each other, the input and the console; every stage's atlas free of overlaps by
// Boost.Geometry's areas; and the same results whatever the thread count, the display or the output folder.
#include "e2e_support.h"
#include "support/formats.h"
#include "support/uv_coverage.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <set>

using namespace e2e;

namespace {

const std::vector<std::string> kKeys = {"boxifyTime",        "numVertices", "numTriangles", "numCharts",
                                        "packingEfficiency", "normBLen",    "flipsFound",   "overlapsFound"};

struct RunSetup {
    std::string name, model;
    std::vector<std::string> extra, env;
};

// Three folded projections, a grid far from the origin and the examples; cube_net runs on two threads
// with a display that is gone, cap_untextured with --square.
const std::vector<RunSetup>& standardRuns()
{
    static const std::vector<RunSetup> runs = [] {
        // A grid of 0.2 steps near (123456, 654321), whose coordinates must come through bit for bit
        // (much finer steps there fall below single precision, and the snapshots come out empty).
        meshgen::MeshData grid = meshgen::flatGrid(5, 5, meshgen::Outline::Rectangle);
        for (size_t k = 0; k < grid.numVertices(); ++k) {
            grid.positions[3 * k] += 123456.0;
            grid.positions[3 * k + 1] += 654321.0;
            grid.positions[3 * k + 2] = 0.25;
        }
        std::vector<RunSetup> list = {
            {"mushroom", generatedModel("mushroom", meshgen::mushroom(10, 24)), {}, {}},
            {"double_folded_sheet", generatedModel("double_folded_sheet", meshgen::doubleFoldedSheet(40, 6)), {}, {}},
            {"spiral_ramp", generatedModel("spiral_ramp", meshgen::spiralRamp(60, 4)), {}, {}},
            {"far_grid", generatedModel("far_grid", grid), {}, {}},
        };
        for (const std::string& name : filesIn(TARNWICK_EXAMPLES)) {
            const std::filesystem::path path = std::string(TARNWICK_EXAMPLES) + "/" + name;
            if (path.extension() != ".obj")
                continue;
            RunSetup s{path.stem().string(), path.string(), {}, {}};
            if (s.name == "cube_net")
                s = {s.name, s.model, {"--threads", "2"}, {"DISPLAY=:4177", "WAYLAND_DISPLAY="}};
            else if (s.name == "cap_untextured")
                s.extra = {"--square"};
            list.push_back(s);
        }
        return list;
    }();
    return runs;
}

const RunSetup& standardRun(const std::string& name)
{
    const std::vector<RunSetup>& runs = standardRuns();
    return *std::find_if(runs.begin(), runs.end(), [&](const RunSetup& s) { return s.name == name; });
}

// Runs every setup that has not run yet in this process, side by side; returns the run of the first.
const BatchRun& sharedRun(const std::vector<RunSetup>& setups)
{
    static std::map<std::string, BatchRun> done;
    std::vector<std::pair<std::string, std::future<BatchRun>>> pending;
    for (const RunSetup& s : setups) {
        if (!done.count(s.name))
            pending.emplace_back(s.name, std::async(std::launch::async, [s] { return runBatch(s.model, s.extra, s.env); }));
    }
    for (auto& p : pending)
        done.emplace(p.first, p.second.get());
    return done.at(setups.front().name);
}

// A statistics file's text parsed by Qt's JSON parser: its fields in file order.
using Stats = std::vector<std::pair<std::string, std::string>>;
Stats parseStats(const std::string& text)
{
    Stats stats;
    std::string error;
    EXPECT_TRUE(testsupport::parseFlatJSON(text, stats, error)) << error << "\n" << text;
    return stats;
}

std::string statText(const Stats& stats, const std::string& key)
{
    const auto it = std::find_if(stats.begin(), stats.end(), [&](const auto& f) { return f.first == key; });
    return it == stats.end() ? "" : it->second;
}

double statValue(const Stats& stats, const std::string& key) { return std::strtod(statText(stats, key).c_str(), nullptr); }

// The bodies of every "//BEGIN STATS" ... "//END STATS" block of a console log.
std::vector<std::string> consoleStatsBlocks(const std::string& console)
{
    std::vector<std::string> blocks;
    const std::string begin = "//BEGIN STATS\n";
    for (size_t at = console.find(begin); at != std::string::npos; at = console.find(begin, at)) {
        at += begin.size();
        // The block ends with the line end before "//END STATS".
        const size_t end = std::min(console.find("\n//END STATS", at - 1), console.size() - 1);
        blocks.push_back(console.substr(at, end + 1 - at));
    }
    return blocks;
}

// Text with the processor-time figures ("boxifyTime", "Took Ns") masked.
std::string withoutTimes(std::string text)
{
    for (const std::string key : {"\"boxifyTime\":", "Took "}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
            const size_t from = at + key.size();
            const size_t end = std::min(text.find_first_not_of("-+0123456789.eE", from), text.size());
            text.replace(from, end - from, "T");
        }
    }
    return text;
}

// The console's stage order, ending with the last statistics; the welding line depends on the cones.
void expectStageOrder(const std::string& console, bool cones)
{
    size_t at = 0;
    for (const std::string line :
         {"\nSuccessfully loaded.", "\nRead 1 parts, including ", "\nPacking charts ...",
          cones ? "\nModel with singularities - using seam-separating weights."
                : "\nModel without singularities - no welding will be performed.",
          "\nFinished. Last score improvement: ", "\nTerminated due to lack of improvement?  ",
          "\nTerminated due to number of pieces?     ", "\n//BEGIN STATS\n"}) {
        at = console.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing: " << line;
    }
    EXPECT_EQ(console.compare(console.size() - 13, 13, "\n//END STATS\n"), 0);
}

std::string snapshotName(const std::string& f)
{
    return f == "welded" ? "welded.png" : f + (f.compare(0, 3, "bl_") == 0 ? "_3D.png" : "3D.png");
}

void expectConsistentRun(const RunSetup& setup, const BatchRun& b)
{
    ASSERT_EQ(b.result.exitStatus, 0) << b.result.out.substr(b.result.out.size() > 3000 ? b.result.out.size() - 3000 : 0)
                                      << b.result.err;
    std::set<std::string> files; // 7 statistics, 8 drawings, 8 meshes, 8 snapshots
    for (const std::string& f : kFamilies)
        files.insert({f + ".obj", f + ".svg", snapshotName(f), f == "export" ? f + ".obj" : f + ".json"});
    EXPECT_EQ(filesIn(b.dir), files);
    const ObjMesh input = readObj(setup.model);
    expectStageOrder(b.result.out, !input.cones.empty());
    EXPECT_EQ(b.result.out.find("Skipping snapshot"), std::string::npos);

    // Every statistics file is a block of the console; the first four and the last in the order of the stages.
    const std::vector<std::string> blocks = consoleStatsBlocks(b.result.out);
    ASSERT_GE(blocks.size(), 7u);
    std::map<std::string, Stats> stats;
    for (size_t i = 0; i < kFamilies.size(); ++i) {
        const std::string& f = kFamilies[i];
        SCOPED_TRACE(f);
        if (f != "export") {
            const std::string text = testsupport::readTextFile(b.dir + "/" + f + ".json");
            stats[f] = parseStats(text);
            ASSERT_EQ(stats[f].size(), kKeys.size());
            for (size_t k = 0; k < kKeys.size(); ++k)
                EXPECT_EQ(stats[f][k].first, kKeys[k]);
            EXPECT_TRUE(i < 4 ? blocks[i] == text : f != "bl_200" || blocks.back() == text);
            EXPECT_NE(std::find(blocks.begin(), blocks.end(), text), blocks.end());
            if (f != "input") {
                EXPECT_LE(statValue(stats[f], "packingEfficiency"), 100.0);
                EXPECT_EQ(statText(stats[f], "overlapsFound"), "false");
            }
        }
        const Stats& s = stats[f == "export" ? "bl_200" : f];

        // One polygon per triangle plus at least one outline per chart.
        const testsupport::XmlSummary xml = testsupport::checkXml(testsupport::readTextFile(b.dir + "/" + f + ".svg"));
        ASSERT_TRUE(xml.wellFormed) << xml.error;
        EXPECT_EQ(xml.count("svg"), 1u);
        EXPECT_EQ(xml.count("rect"), 1u);
        const size_t triangles = size_t(statValue(s, "numTriangles"));
        EXPECT_GE(xml.count("polygon"), triangles + size_t(statValue(s, "numCharts")));
        EXPECT_LE(xml.count("polygon"), 4 * triangles);

        // The mesh keeps the input's cones, colours and coordinates bit for bit; its texture coordinates
        // fill the unit square with the longer side 1.
        const ObjMesh mesh = readObj(b.dir + "/" + f + ".obj");
        EXPECT_EQ(mesh.cones, input.cones);
        EXPECT_EQ(mesh.colours.empty(), input.colours.empty());
        EXPECT_EQ(mesh.triangles(), triangles);
        EXPECT_EQ(mesh.positions.size() / 3, size_t(statValue(s, "numVertices")));
        ASSERT_GE(mesh.positions.size(), input.positions.size());
        EXPECT_EQ(std::memcmp(mesh.positions.data(), input.positions.data(), input.positions.size() * sizeof(double)), 0);
        const std::array<double, 4> box = mesh.uvBox();
        EXPECT_NEAR(box[0], 0.0, 1e-6);
        EXPECT_NEAR(box[1], 0.0, 1e-6);
        EXPECT_NEAR(std::max(box[2], box[3]), 1.0, 1e-6);
        // After the input, no area of the atlas is covered twice: the UV triangles, measured with
        // Boost.Geometry, cover the sum of their areas.
        // The input layouts fold on purpose and are not measured.
        if (f != "input") {
            const testsupport::UVCoverage c = testsupport::uvCoverage(mesh.uvs, mesh.uv);
            ASSERT_GT(c.summedArea, 0.0);
            EXPECT_LE(std::fabs(c.overlapArea), 1e-9 * c.summedArea)
                << "covered twice: " << c.overlapArea / c.summedArea * 100.0 << " % of the UV area";
        }

        // The snapshot: a frame of the view, the mesh covering a part of the window-grey background, shaded
        // checkered and edged with tubes.
        const QImage image(QString::fromStdString(b.dir + "/" + snapshotName(f)));
        ASSERT_EQ(image.size(), QSize(800, 786)) << snapshotName(f);
        std::set<QRgb> colours;
        size_t notGrey = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
                notGrey += image.pixel(x, y) != qRgb(238, 238, 238);
            }
        EXPECT_GT(notGrey, size_t(image.width()) * image.height() / 100);
        EXPECT_GE(colours.size(), 4u);
    }
    EXPECT_EQ(statValue(stats["input"], "boxifyTime"), 0.0);
    EXPECT_LE(statValue(stats["bl_200"], "normBLen"), 2.0 * statValue(stats["welded"], "normBLen") + 1e-9);
    EXPECT_GE(statValue(stats["bl_200"], "packingEfficiency"), statValue(stats["welded"], "packingEfficiency") - 1e-9);
}

} // namespace

// Also the small complete run of the sanitizer build.
TEST(ExactCoordinates, FarFromTheOriginThroughTheWholeBatch)
{
    const RunSetup& grid = standardRun("far_grid");
    expectConsistentRun(grid, sharedRun({grid}));
}

TEST(BatchRun, EveryStandardRunWritesConsistentResults)
{
    sharedRun(standardRuns());
    for (const RunSetup& setup : standardRuns()) {
        SCOPED_TRACE(setup.name);
        expectConsistentRun(setup, sharedRun({setup}));
    }
}

// cube_net on one thread, without a display, into an output folder made on the way, against the shared run
// on two threads with a display that is gone: the same files and console.
TEST(BatchRun, ThreadsDisplayAndOutputFolderChangeNoResult)
{
    const RunSetup& cube = standardRun("cube_net");
    const BatchRun& reference = sharedRun({cube});
    ASSERT_EQ(reference.result.exitStatus, 0);
    // The model must exercise the searches, the local one too.
    EXPECT_NE(reference.result.out.find("\n> Picking a local"), std::string::npos);

    const BatchRun run = runBatch(cube.model, {"--output", "results/cube", "--threads", "1"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;
    EXPECT_EQ(withoutTimes(run.result.out), withoutTimes(reference.result.out));
    EXPECT_EQ(filesIn(run.dir), std::set<std::string>{"results"});
    EXPECT_EQ(filesIn(run.dir + "/results/cube"), filesIn(reference.dir));
    for (const std::string& name : filesIn(reference.dir))
        EXPECT_TRUE(withoutTimes(testsupport::readTextFile(run.dir + "/results/cube/" + name)) ==
                    withoutTimes(testsupport::readTextFile(reference.dir + "/" + name))) << name << " differs";
    testsupport::removeTree(run.dir);
}
