// Batch runs on glTF input: the same results as for the same mesh in OBJ,
// binary glTF output read back with the glTF parser library, and refusals.
#include "e2e_support.h"
#include "io/obj_reader.h"
#include "meshgen/meshgen.h"
#include "support/gltf_files.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace e2e;

namespace {

const std::vector<std::string> kFamilies = {"input",  "overlap_free_levy", "overlap_free", "welded",
                                            "bl_130", "bl_150",            "bl_200",       "export"};
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

    ChartList charts;
    iuv::DoubleVector positions, colors;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadOBJ(obj, charts, positions, colors));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(charts.size(), 1u);
    const Chart& c = charts[0];
    ASSERT_EQ(ia.count, c.triIndicesPos.size());
    auto near = [](double a, double b) { return std::fabs(a - b) <= 2e-5 * std::max(1.0, std::fabs(b)); };
    for (size_t k = 0; k < ia.count; ++k) {
        ASSERT_LT(idx[k], n);
        const size_t g = idx[k], pv = c.triIndicesPos[k], uv = c.triIndicesUV[k];
        for (size_t d = 0; d < 3; ++d) {
            ASSERT_TRUE(near(xyz[3 * g + d], positions[3 * pv + d])) << k;
            ASSERT_TRUE(near(rgb[3 * g + d], colors[3 * pv + d])) << k;
        }
        ASSERT_TRUE(near(st[2 * g], c.uvCoords2D[2 * uv])) << k;
        ASSERT_TRUE(near(1.0 - st[2 * g + 1], c.uvCoords2D[2 * uv + 1])) << k;
    }
}

TEST(GltfRun, SameStatisticsAsTheObjOfTheSameMeshAndAGlbBesideEveryObj)
{
    meshgen::MeshData mesh = meshgen::cubeNet(2);
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

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST(GltfRun, MalformedFilesAndBadOptionsAreRefusedWithStatus2)
{
    testsupport::GltfMesh quad;
    quad.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    quad.texcoords = {0, 1, 1, 1, 1, 0, 0, 0};
    quad.indices = {0, 1, 2, 0, 2, 3};
    const std::string text = testsupport::gltfText(quad);
    const std::string glb = testsupport::glbBytes(quad);
    const size_t uri = text.find("data:");
    struct Case {
        std::string name, file, content;
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"truncated_glb", "m.glb", glb.substr(0, glb.size() - 9), {}, "Failed to load/parse glTF."},
        {"bad_accessor", "m.gltf", replaced(text, "\"POSITION\":0", "\"POSITION\":5"), {},
         "POSITION refers to an accessor that does not exist."},
        {"missing_buffer", "m.gltf", replaced(text, text.substr(uri, text.rfind('"') - uri), "gone.bin"), {},
         "gone.bin"},
        {"two_primitives", "m.gltf", testsupport::gltfText(quad, 2), {}, "Input must be a single chart."},
        {"bad_cone_file", "m.gltf", text, {"--cones", "c.txt"}, "Cone file c.txt, line 2: '9' is not a vertex number"},
        {"missing_cone_file", "m.gltf", text, {"--cones", "none.txt"}, "Cannot read the cone file none.txt."},
        {"bad_format", "m.gltf", text, {"--format", "fbx"}, "Invalid value 'fbx' for --format: expected obj or glb."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = testsupport::makeTempDir("tarnwick_gltf_bad");
        testsupport::writeBinaryFile(dir + "/" + c.file, c.content);
        testsupport::writeTextFile(dir + "/c.txt", "1\n9\n");
        std::vector<std::string> args = {c.file, "--batchmode"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testsupport::ProcessResult r = testsupport::runProcess(programPath(), args, dir, kNoDisplay, 60);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 2) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_FALSE(exists(dir + "/input.json"));
        EXPECT_FALSE(exists(dir + "/input.glb"));
        testsupport::removeTree(dir);
    }
}

} // namespace
