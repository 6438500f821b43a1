// Batch runs on glTF input: the same results as for the same mesh in OBJ, and
// binary glTF output read back with the glTF parser library (support readGlb).
#include "e2e_support.h"
#include "support/gltf_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

using namespace e2e;

namespace {

const std::vector<std::string> kNoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY="};

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// Every corner of the glb at the position and UV of the same corner of the
// OBJ (written with six significant digits), colours included.
void expectGlbMatchesObj(const std::string& glb, const std::string& obj)
{
    testsupport::GltfMesh m;
    std::string error;
    ASSERT_TRUE(testsupport::readGlb(glb, m, error)) << error;
    const size_t n = m.positions.size() / 3;
    ASSERT_EQ(m.texcoords.size(), 2 * n);
    ASSERT_EQ(m.colors.size(), 3 * n);
    const ObjMesh c = readObj(obj);
    ASSERT_EQ(m.indices.size(), c.pos.size());
    auto near = [](double a, double b) { return std::fabs(a - b) <= 2e-5 * std::max(1.0, std::fabs(b)); };
    for (size_t k = 0; k < m.indices.size(); ++k) {
        ASSERT_LT(m.indices[k], n);
        const size_t g = m.indices[k], pv = c.pos[k], uv = c.uv[k];
        for (size_t d = 0; d < 3; ++d) {
            ASSERT_TRUE(near(m.positions[3 * g + d], c.positions[3 * pv + d])) << k;
            ASSERT_TRUE(near(m.colors[3 * g + d], c.colours[3 * pv + d])) << k;
        }
        ASSERT_TRUE(near(m.texcoords[2 * g], c.uvs[2 * uv])) << k;
        ASSERT_TRUE(near(1.0 - m.texcoords[2 * g + 1], c.uvs[2 * uv + 1])) << k;
    }
}

TEST(GltfRun, SameStatisticsAsTheObjOfTheSameMeshAndAGlbBesideEveryObj)
{
    meshgen::MeshData mesh = meshgen::cubeNet(1);
    meshgen::addColors(mesh);
    const meshgen::MeshData canonical = testsupport::canonicalForGltf(mesh);
    const testsupport::GltfMesh g = testsupport::toGltfMesh(mesh);
    testsupport::TempDir dir("tarnwick_gltf_run");
    meshgen::writeOBJ(canonical, dir.file("cube.obj"));
    testsupport::writeBinaryFile(dir.file("cube.glb"), testsupport::glbBytes(g));
    // The OBJ's cone lines as glTF vertex numbers: a vertex at the cone's position.
    std::string cones = "# the cube's corners\n";
    for (uint32_t cone : mesh.cones) {
        for (size_t k = 0; k < g.positions.size() / 3; ++k) {
            if (g.positions[3 * k] == float(mesh.positions[3 * cone]) &&
                g.positions[3 * k + 1] == float(mesh.positions[3 * cone + 1]) &&
                g.positions[3 * k + 2] == float(mesh.positions[3 * cone + 2])) {
                cones += std::to_string(k + 1) + "\n";
                break;
            }
        }
    }
    testsupport::writeTextFile(dir.file("cube.cones"), cones);

    const RunSetup objSetup{"gltf_twin_obj", dir.file("cube.obj"), {}, kNoDisplay};
    const RunSetup gltfSetup{"gltf_cube", dir.file("cube.glb"), {"--cones", dir.file("cube.cones")}, kNoDisplay};
    startSharedRuns({objSetup, gltfSetup});
    const BatchRun& obj = sharedRun(objSetup);
    const BatchRun& gltf = sharedRun(gltfSetup);
    ASSERT_EQ(obj.result.exitStatus, 0) << obj.result.out;
    ASSERT_EQ(gltf.result.exitStatus, 0) << gltf.result.out;
    EXPECT_EQ(consoleStatsBlocks(obj.result.out).size(), consoleStatsBlocks(gltf.result.out).size());
    for (const std::string& family : kFamilies) {
        SCOPED_TRACE(family);
        if (family != "export") {
            const Stats a = readStats(obj.dir + "/" + family + ".json");
            const Stats b = readStats(gltf.dir + "/" + family + ".json");
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0; i < a.size(); ++i) {
                if (a[i].first != "boxifyTime") {
                    EXPECT_EQ(a[i], b[i]);
                }
            }
        }
        // glTF input writes glb by default, OBJ input only when asked.
        EXPECT_FALSE(exists(obj.dir + "/" + family + ".glb"));
        EXPECT_FALSE(exists(gltf.dir + "/" + family + ".glb.part"));
        expectGlbMatchesObj(gltf.dir + "/" + family + ".glb", gltf.dir + "/" + family + ".obj");
    }
}

} // namespace
