// Binary glTF output, read back with the glTF parser library and with the
// program's own reader; cone files.
#include "io/cone_file.h"
#include "io/gltf_reader.h"
#include "io/gltf_writer.h"
#include "app/model_loading.h"
#include "meshgen/meshgen.h"
#include "support/gltf_files.h"
#include "support/test_support.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace {

bool keepImageUndecoded(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*,
                        int, void*)
{
    return true;
}

tinygltf::Model parseGlb(const std::string& path)
{
    tinygltf::TinyGLTF parser;
    parser.SetImageLoader(keepImageUndecoded, nullptr);
    tinygltf::Model model;
    std::string error, warning;
    EXPECT_TRUE(parser.LoadBinaryFromFile(&model, &error, &warning, path)) << error;
    return model;
}

// The float elements of an attribute accessor (tightly packed, as written).
std::vector<float> floats(const tinygltf::Model& m, int accessor, size_t components)
{
    const tinygltf::Accessor& a = m.accessors.at(static_cast<size_t>(accessor));
    EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    const tinygltf::BufferView& v = m.bufferViews.at(static_cast<size_t>(a.bufferView));
    std::vector<float> out(a.count * components);
    std::memcpy(out.data(), m.buffers.at(0).data.data() + v.byteOffset + a.byteOffset, out.size() * sizeof(float));
    return out;
}

std::vector<uint32_t> indices(const tinygltf::Model& m, int accessor)
{
    const tinygltf::Accessor& a = m.accessors.at(static_cast<size_t>(accessor));
    EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    const tinygltf::BufferView& v = m.bufferViews.at(static_cast<size_t>(a.bufferView));
    std::vector<uint32_t> out(a.count);
    std::memcpy(out.data(), m.buffers.at(0).data.data() + v.byteOffset + a.byteOffset, out.size() * 4);
    return out;
}

uint32_t bits(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, 4);
    return b;
}

struct Read {
    ChartList charts;
    iuv::DoubleVector positions, colors;
};

Read readBack(const std::string& path)
{
    Read r;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadGLTF(path, r.charts, r.positions, r.colors));
    testing::internal::GetCapturedStdout();
    return r;
}

TEST(GltfWriter, RoundTripKeepsEveryCornerBitIdenticalAndSplitsSeams)
{
    testsupport::TempDir dir("tarnwick_glbw");
    meshgen::MeshData mesh = meshgen::openCylinder(8, 3);
    meshgen::addColors(mesh);
    const testsupport::GltfMesh original = testsupport::toGltfMesh(mesh);
    const Read first = readBack(testsupport::writeBinaryFile(dir.file("in.glb"), testsupport::glbBytes(original)));
    ASSERT_EQ(first.charts.size(), 1u);
    const std::string out = dir.file("out.glb");
    ASSERT_TRUE(writeLayoutGLB(first.charts[0], first.positions, first.colors, out));

    const tinygltf::Model m = parseGlb(out);
    ASSERT_EQ(m.meshes.size(), 1u);
    ASSERT_EQ(m.meshes[0].primitives.size(), 1u);
    const tinygltf::Primitive& p = m.meshes[0].primitives[0];
    EXPECT_EQ(p.mode, TINYGLTF_MODE_TRIANGLES);
    const std::vector<float> xyz = floats(m, p.attributes.at("POSITION"), 3);
    const std::vector<float> st = floats(m, p.attributes.at("TEXCOORD_0"), 2);
    const std::vector<float> rgb = floats(m, p.attributes.at("COLOR_0"), 3);
    const std::vector<uint32_t> corners = indices(m, p.indices);
    // One glTF vertex per (vertex, UV) pair: the seam's vertices twice.
    EXPECT_EQ(xyz.size() / 3, original.positions.size() / 3);
    EXPECT_EQ(xyz.size() / 3, mesh.numVertices() + 4u);
    ASSERT_EQ(corners.size(), original.indices.size());
    for (size_t k = 0; k < corners.size(); ++k) {
        const uint32_t a = original.indices[k], b = corners[k];
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_EQ(bits(xyz[3 * b + c]), bits(original.positions[3 * a + c])) << k;
            ASSERT_EQ(bits(rgb[3 * b + c]), bits(original.colors[3 * a + c])) << k;
        }
        for (size_t c = 0; c < 2; ++c)
            ASSERT_EQ(bits(st[2 * b + c]), bits(original.texcoords[2 * a + c])) << k;
    }
    // Read back by the program itself: the same model.
    const Read second = readBack(out);
    ASSERT_EQ(second.charts.size(), 1u);
    EXPECT_EQ(second.positions, first.positions);
    EXPECT_EQ(second.colors, first.colors);
    EXPECT_EQ(second.charts[0].triIndicesPos, first.charts[0].triIndicesPos);
    EXPECT_EQ(second.charts[0].triIndicesUV, first.charts[0].triIndicesUV);
    EXPECT_EQ(second.charts[0].uvCoords2D, first.charts[0].uvCoords2D);
}

TEST(GltfWriter, EmbedsTheTextureAndLeavesNothingBehindOnFailure)
{
    testsupport::TempDir dir("tarnwick_glbw");
    const Chart square = testsupport::unitSquareChart();
    const iuv::DoubleVector positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "not really an image";
    const std::string out = dir.file("t.glb");
    ASSERT_TRUE(writeLayoutGLB(square, positions, iuv::DoubleVector(), out, png));
    const tinygltf::Model m = parseGlb(out);
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(m.images[0].mimeType, "image/png");
    const tinygltf::BufferView& view = m.bufferViews.at(static_cast<size_t>(m.images[0].bufferView));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.buffers[0].data.data()) + view.byteOffset, view.byteLength),
              png);
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.materials[0].pbrMetallicRoughness.baseColorTexture.index, 0);
    EXPECT_EQ(m.textures.at(0).source, 0);
    EXPECT_EQ(m.meshes.at(0).primitives.at(0).material, 0);
    EXPECT_EQ(m.meshes[0].primitives[0].attributes.count("COLOR_0"), 0u);

    const std::string missing = dir.file("no/such/folder/t.glb");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeLayoutGLB(square, positions, iuv::DoubleVector(), missing));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Unable to open file " + missing + " for writing."),
              std::string::npos);
    EXPECT_FALSE(std::ifstream(missing + ".part").good());
    EXPECT_EQ(glbNameFor("out/bl_200.obj"), "out/bl_200.glb");
}

struct ConeCase {
    const char* name;
    const char* text;
    std::vector<uint32_t> cones; // expected, when accepted
    const char* error;           // expected part of the reason, or nullptr
};

TEST(ConeFile, NumbersCommentsAndRefusals)
{
    testsupport::TempDir dir("tarnwick_cones");
    const std::vector<ConeCase> cases = {
        {"numbers_and_comments", "# cones\n1\n  3 # the third\n\n\t4\r\n1\n", {0, 2, 3}, nullptr},
        {"only_comments", "# none\n", {}, nullptr},
        {"zero", "2\n0\n", {}, "line 2: '0' is not a vertex number between 1 and 4."},
        {"beyond", "5", {}, "line 1: '5' is not a vertex number between 1 and 4."},
        {"negative", "-1", {}, "'-1' is not a vertex number"},
        {"two_numbers", "1 2", {}, "'1 2' is not a vertex number"},
        {"word", "c 1", {}, "'c 1' is not a vertex number"},
        {"huge", "99999999999999999999999", {}, "is not a vertex number"},
    };
    for (const ConeCase& c : cases) {
        SCOPED_TRACE(c.name);
        iuv::UIntVector cones;
        std::string why;
        const bool ok = readConeFile(testsupport::writeTextFile(dir.file(c.name), c.text), 4, cones, why);
        EXPECT_EQ(ok, c.error == nullptr) << why;
        if (c.error)
            EXPECT_NE(why.find(c.error), std::string::npos) << why;
        else
            EXPECT_EQ(cones, iuv::UIntVector(c.cones));
    }
    iuv::UIntVector cones;
    std::string why;
    EXPECT_FALSE(readConeFile(dir.file("missing"), 4, cones, why));
    EXPECT_EQ(why, "Cannot read the cone file " + dir.file("missing") + ".");
}

TEST(ConeFile, AddsToObjConeLinesAndNamesGltfVerticesOfTheFile)
{
    testsupport::TempDir dir("tarnwick_cones");
    meshgen::MeshData mesh = meshgen::openCylinder(6, 2);
    mesh.cones = {0};
    meshgen::writeOBJ(mesh, dir.file("m.obj"));
    // The glTF file of the same mesh: its last vertex is a seam duplicate of
    // the mesh's vertex at the same position.
    const testsupport::GltfMesh g = testsupport::toGltfMesh(mesh);
    testsupport::writeBinaryFile(dir.file("m.glb"), testsupport::glbBytes(g));
    const size_t last = g.positions.size() / 3 - 1;
    size_t weldedLast = 0;
    while (static_cast<float>(mesh.positions[3 * weldedLast]) != g.positions[3 * last] ||
           static_cast<float>(mesh.positions[3 * weldedLast + 1]) != g.positions[3 * last + 1] ||
           static_cast<float>(mesh.positions[3 * weldedLast + 2]) != g.positions[3 * last + 2])
        ++weldedLast;
    ASSERT_NE(weldedLast, last);
    testsupport::writeTextFile(dir.file("obj.cones"), "3\n1\n");
    testsupport::writeTextFile(dir.file("glb.cones"), std::to_string(last + 1) + "\n");
    testsupport::writeTextFile(dir.file("bad.cones"), "1\nseven\n");

    struct Case {
        const char* model;
        const char* cones;
        LoadStatus status;
        std::vector<uint32_t> expected;
    };
    const std::vector<Case> cases = {
        {"m.obj", "obj.cones", LoadStatus::Loaded, {0, 2}},
        {"m.glb", "glb.cones", LoadStatus::Loaded, {static_cast<uint32_t>(weldedLast)}},
        {"m.obj", "bad.cones", LoadStatus::ParseFailed, {}},
        {"m.glb", "missing.cones", LoadStatus::ParseFailed, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.cones);
        Model model;
        LoadOptions options;
        options.coneFile = dir.file(c.cones);
        std::string refusal;
        testing::internal::CaptureStdout();
        EXPECT_EQ(loadModel(dir.file(c.model), true, model, nullptr, options, &refusal), c.status);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(model.coneSingularities, iuv::UIntVector(c.expected));
        if (c.status != LoadStatus::Loaded) {
            EXPECT_NE(console.find(refusal), std::string::npos) << console;
            EXPECT_NE(refusal.find("one file"), std::string::npos) << refusal;
            EXPECT_TRUE(model.charts.empty());
        }
    }
}

} // namespace
