// Every stage of the batch run, on folded projections and on the bundled
// examples, must leave an atlas in which no area is covered twice: the UV
// triangles of each written mesh, measured with Boost.Geometry, cover exactly
// the sum of their areas. The statistics must agree (no overlap reported, an
// efficiency of at most 100 %).
#include "e2e_support.h"
#include "support/uv_coverage.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace e2e;

TEST(FoldedLayouts, EveryStageIsOverlapFreeAndAtMostFull)
{
    startSharedRuns(standardRuns());
    ASSERT_GE(standardRuns().size(), 3u + 8u);
    for (const RunSetup& setup : standardRuns()) {
        SCOPED_TRACE(setup.name);
        const BatchRun& r = sharedRun(setup);
        ASSERT_FALSE(r.result.timedOut);
        ASSERT_EQ(r.result.exitStatus, 0) << r.result.out.substr(r.result.out.size() > 3000 ? r.result.out.size() - 3000 : 0);
        for (const std::string& stage : kFamilies) {
            if (stage == "input")
                continue;
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
            EXPECT_EQ(statText(stats, "overlapsFound"), "false");
        }
    }
}
