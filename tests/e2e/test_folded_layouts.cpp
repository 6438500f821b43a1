// Every stage of the batch run, on folded projections and on the bundled
// examples, must leave an atlas in which no area is covered twice: the UV
// triangles of each written mesh, measured with Boost.Geometry, cover exactly
// the sum of their areas. The statistics must agree (no overlap reported, an
// efficiency of at most 100 %).
#include "e2e_support.h"
#include "meshgen/meshgen.h"
#include "support/uv_coverage.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <map>

using namespace e2e;

namespace {

// The result families after the input, in the order the batch writes them.
const std::vector<std::string> kStages = {"overlap_free_levy", "overlap_free", "welded", "bl_130",
                                          "bl_150",            "bl_200",       "export"};

// Small folded projections (about 500 triangles each).
std::vector<std::pair<std::string, meshgen::MeshData>> foldedMeshes()
{
    return {{"mushroom", meshgen::mushroom(10, 24)},
            {"double_folded_sheet", meshgen::doubleFoldedSheet(40, 6)},
            {"spiral_ramp", meshgen::spiralRamp(60, 4)}};
}

struct FoldedRun {
    std::string name;
    std::string dir;
    testsupport::ProcessResult result;
};

std::vector<std::string> exampleModels()
{
    std::vector<std::string> names;
    if (DIR* d = opendir(examplesDir().c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obj") == 0)
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// All batch runs, started together and shared by the checks below.
const std::vector<FoldedRun>& runs()
{
    static const std::vector<FoldedRun> all = [] {
        const std::string models = testsupport::makeTempDir("tarnwick_folded_models");
        std::vector<std::pair<std::string, std::string>> inputs; // name, model path
        for (const auto& g : foldedMeshes()) {
            const std::string path = models + "/" + g.first + ".obj";
            meshgen::writeOBJ(g.second, path);
            inputs.emplace_back(g.first, path);
        }
        for (const std::string& name : exampleModels())
            inputs.emplace_back(name, examplesDir() + "/" + name);

        std::vector<FoldedRun> list;
        std::vector<std::future<testsupport::ProcessResult>> pending;
        for (const auto& in : inputs) {
            FoldedRun r;
            r.name = in.first;
            r.dir = testsupport::makeTempDir("tarnwick_folded");
            const std::string dir = r.dir, model = in.second;
            pending.push_back(std::async(std::launch::async, [dir, model] {
                return testsupport::runProcess(programPath(), {model, "--batchmode"}, dir, {}, 600);
            }));
            list.push_back(r);
        }
        for (size_t i = 0; i < list.size(); ++i)
            list[i].result = pending[i].get();
        return list;
    }();
    return all;
}

} // namespace

TEST(FoldedLayouts, EveryStageIsOverlapFreeAndAtMostFull)
{
    ASSERT_GE(runs().size(), 3u + 8u);
    for (const FoldedRun& r : runs()) {
        SCOPED_TRACE(r.name);
        ASSERT_FALSE(r.result.timedOut);
        ASSERT_EQ(r.result.exitStatus, 0) << r.result.out.substr(r.result.out.size() > 3000 ? r.result.out.size() - 3000 : 0);
        for (const std::string& stage : kStages) {
            SCOPED_TRACE(stage);
            std::vector<double> uvs;
            std::vector<uint32_t> indices;
            std::string error;
            ASSERT_TRUE(testsupport::readOBJTextureLayout(r.dir + "/" + stage + ".obj", uvs, indices, error)) << error;
            const testsupport::UVCoverage c = testsupport::uvCoverage(uvs, indices);
            ASSERT_GT(c.summedArea, 0.0);
            EXPECT_LE(std::fabs(c.overlapArea), 1e-9 * c.summedArea)
                << "covered twice: " << c.overlapArea / c.summedArea * 100.0 << " % of the UV area";
            if (stage == "export")
                continue; // no statistics of its own
            Stats stats;
            ASSERT_TRUE(readStats(r.dir + "/" + stage + ".json", stats, error)) << error;
            EXPECT_LE(statValue(stats, "packingEfficiency"), 100.0);
            const auto flag = std::find_if(stats.begin(), stats.end(),
                                           [](const auto& kv) { return kv.first == "overlapsFound"; });
            ASSERT_NE(flag, stats.end());
            EXPECT_EQ(flag->second, "false");
        }
        testsupport::removeTree(r.dir);
    }
}
