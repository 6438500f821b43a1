// The test-mesh generators: the folded meshes really fold (their UV layout is
// covered twice, measured with Boost.Geometry) and the others do not.
#include "meshgen/meshgen.h"
#include "support/uv_coverage.h"
#include "model/chart.h"

#include <gtest/gtest.h>

using meshgen::MeshData;
using meshgen::Outline;

TEST(Generators, FoldedMeshesOverlapInUVAndTheOthersDoNot)
{
    const struct {
        const char* name;
        MeshData mesh;
        size_t triangles;
        bool folded, flips;
    } rows[] = {
        {"L shape", meshgen::flatGrid(8, 8, Outline::LShape), 96, false, false},
        {"cube net", meshgen::cubeNet(3), 108, false, false},
        {"folded strip", meshgen::foldedStrip(240, 3), 1920, true, false},
        {"mushroom", meshgen::mushroom(10, 24), 24 * 19, true, true},
        {"double folded sheet", meshgen::doubleFoldedSheet(40, 6), 480, true, true},
        {"spiral ramp", meshgen::spiralRamp(60, 4), 480, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.mesh.numTriangles(), r.triangles);
        const Model model = meshgen::toModel(r.mesh);
        EXPECT_EQ(hasUVFlips(model.charts[0]), r.flips);
        const testsupport::UVCoverage cover = testsupport::uvCoverage(model.charts);
        EXPECT_TRUE(r.folded ? cover.overlapArea > 0.02 * cover.summedArea : cover.overlapArea < 1e-9 * cover.summedArea)
            << cover.overlapArea;
    }
    EXPECT_NEAR(testsupport::uvCoverage(meshgen::toModel(rows[0].mesh).charts).unionArea, 0.75, 1e-6);
    EXPECT_EQ(rows[1].mesh.cones.size(), 8u); // the cube's corners
}
