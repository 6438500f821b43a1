// The test-mesh generators: the folded meshes really fold (their UV layout is
// covered twice, measured with Boost.Geometry) and the others do not; OBJ
// files written by them read back exactly.
#include "meshgen/meshgen.h"
#include "io/obj_reader.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "model/chart.h"

#include <gtest/gtest.h>

#include <tuple>

using meshgen::MeshData;
using meshgen::Outline;

namespace {

// The OBJ file read by the program's own parser.
MeshData readBack(const std::string& path)
{
    ChartList c;
    iuv::DoubleVector p, colors;
    iuv::UIntVector cones;
    testing::internal::CaptureStdout();
    const bool loaded = loadOBJ(path, c, p, colors, &cones);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(loaded && c.size() == 1) << path << out;
    c.resize(1);
    return {{p.begin(), p.end()}, {colors.begin(), colors.end()}, {c[0].uvCoords2D.begin(), c[0].uvCoords2D.end()},
            {c[0].triIndicesPos.begin(), c[0].triIndicesPos.end()}, {c[0].triIndicesUV.begin(), c[0].triIndicesUV.end()},
            {cones.begin(), cones.end()}};
}

// Bit-identical: the writer prints the shortest text that reads back exactly.
auto fields(const MeshData& m) { return std::tie(m.posIndices, m.uvIndices, m.cones, m.positions, m.uvs, m.colors); }

MeshData withColors(MeshData mesh) { return meshgen::addColors(mesh), mesh; }

} // namespace

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

TEST(Generators, OBJFilesReadBackAsTheGeneratedMeshes)
{
    testsupport::TempDir tmp("meshgen_obj");
    for (const MeshData& mesh : {withColors(meshgen::cubeNet(2)), meshgen::saddle(3)}) { // textured and not
        ASSERT_TRUE(meshgen::writeOBJ(mesh, tmp.file("m.obj")));
        EXPECT_EQ(fields(readBack(tmp.file("m.obj"))), fields(mesh));
    }
    EXPECT_FALSE(meshgen::writeOBJ(meshgen::saddle(3), "/nonexistent-dir/u.obj"));
}
