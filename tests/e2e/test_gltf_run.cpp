// Batch runs on glTF input: the same results as for the same mesh in OBJ, and
// binary glTF output read back with the glTF parser library.
#include "e2e_support.h"
#include "support/gltf_files.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace e2e;

namespace {

const std::vector<std::string> kNoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY="};

bool exists(const std::string& path) { return std::ifstream(path).good(); }

bool keepImageUndecoded(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*,
                        int, void*)
{
    return true;
}

const float* attribute(const tinygltf::Model& m, const tinygltf::Primitive& p, const char* name, size_t& count)
{
    const tinygltf::Accessor& a = m.accessors.at(static_cast<size_t>(p.attributes.at(name)));
    const tinygltf::BufferView& v = m.bufferViews.at(static_cast<size_t>(a.bufferView));
    EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    count = a.count;
    return reinterpret_cast<const float*>(m.buffers.at(0).data.data() + v.byteOffset + a.byteOffset);
}

// Every corner of the glb at the position and UV of the same corner of the
// OBJ (written with six significant digits), colours included.
void expectGlbMatchesObj(const std::string& glb, const std::string& obj)
{
    tinygltf::TinyGLTF parser;
    parser.SetImageLoader(keepImageUndecoded, nullptr);
    tinygltf::Model m;
    std::string error, warning;
    ASSERT_TRUE(parser.LoadBinaryFromFile(&m, &error, &warning, glb)) << error;
    ASSERT_EQ(m.meshes.size(), 1u);
    ASSERT_EQ(m.meshes[0].primitives.size(), 1u);
    const tinygltf::Primitive& p = m.meshes[0].primitives[0];
    size_t n = 0, nt = 0, nc = 0;
    const float* xyz = attribute(m, p, "POSITION", n);
    const float* st = attribute(m, p, "TEXCOORD_0", nt);
    const float* rgb = attribute(m, p, "COLOR_0", nc);
    ASSERT_EQ(nt, n);
    ASSERT_EQ(nc, n);
    const tinygltf::Accessor& ia = m.accessors.at(static_cast<size_t>(p.indices));
    ASSERT_EQ(ia.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    const tinygltf::BufferView& iv = m.bufferViews.at(static_cast<size_t>(ia.bufferView));
    const auto* idx = reinterpret_cast<const uint32_t*>(m.buffers[0].data.data() + iv.byteOffset + ia.byteOffset);

    ObjMesh c;
    ASSERT_TRUE(readObj(obj, c, error)) << error;
    ASSERT_EQ(ia.count, c.pos.size());
    auto near = [](double a, double b) { return std::fabs(a - b) <= 2e-5 * std::max(1.0, std::fabs(b)); };
    for (size_t k = 0; k < ia.count; ++k) {
        ASSERT_LT(idx[k], n);
        const size_t g = idx[k], pv = c.pos[k], uv = c.uv[k];
        for (size_t d = 0; d < 3; ++d) {
            ASSERT_TRUE(near(xyz[3 * g + d], c.positions[3 * pv + d])) << k;
            ASSERT_TRUE(near(rgb[3 * g + d], c.colours[3 * pv + d])) << k;
        }
        ASSERT_TRUE(near(st[2 * g], c.uvs[2 * uv])) << k;
        ASSERT_TRUE(near(1.0 - st[2 * g + 1], c.uvs[2 * uv + 1])) << k;
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

    const BatchRun obj = runBatch(dir.file("cube.obj"), {}, kNoDisplay);
    const BatchRun gltf = runBatch(dir.file("cube.glb"), {"--cones", dir.file("cube.cones")}, kNoDisplay);
    ASSERT_EQ(obj.result.exitStatus, 0) << obj.result.out;
    ASSERT_EQ(gltf.result.exitStatus, 0) << gltf.result.out;
    EXPECT_EQ(consoleStatsBlocks(obj.result.out).size(), consoleStatsBlocks(gltf.result.out).size());
    for (const std::string& family : kFamilies) {
        SCOPED_TRACE(family);
        if (family != "export") {
            Stats a, b;
            std::string error;
            ASSERT_TRUE(readStats(obj.dir + "/" + family + ".json", a, error)) << error;
            ASSERT_TRUE(readStats(gltf.dir + "/" + family + ".json", b, error)) << error;
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
    testsupport::removeTree(obj.dir);
    testsupport::removeTree(gltf.dir);
}

} // namespace
