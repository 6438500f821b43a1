#include "io/gltf_reader.h"
#include "app/model_loading.h"
#include "meshgen/meshgen.h"
#include "support/gltf_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <limits>

using testsupport::GltfMesh;

namespace {

GltfMesh quad()
{
    GltfMesh m;
    m.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    m.texcoords = {0, 1, 1, 1, 1, 0, 0, 0};
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

struct Loaded {
    LoadStatus status;
    std::string console;
    Model model;
};

Loaded loadFile(const std::string& path)
{
    Loaded r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = loadModel(path, true, r.model, nullptr);
    r.console = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return r;
}

TEST(GltfReader, ReadsPositionsFlipsTextureRowsAndWeldsSeams)
{
    testsupport::TempDir dir("tarnwick_gltf");
    // The same quad, indexed and as six unindexed vertices (duplicates at
    // two corners): both give four 3D vertices and four UV vertices.
    GltfMesh unindexed;
    for (uint32_t i : quad().indices) {
        for (int c = 0; c < 3; ++c)
            unindexed.positions.push_back(quad().positions[3 * i + c]);
        for (int c = 0; c < 2; ++c)
            unindexed.texcoords.push_back(quad().texcoords[2 * i + c]);
    }
    for (const GltfMesh& mesh : {quad(), unindexed}) {
        for (bool binary : {false, true}) {
            const std::string path = binary ? testsupport::writeBinaryFile(dir.file("q.glb"), testsupport::glbBytes(mesh))
                                            : testsupport::writeTextFile(dir.file("q.gltf"), testsupport::gltfText(mesh));
            ChartList charts;
            iuv::DoubleVector positions, colors;
            testing::internal::CaptureStdout();
            ASSERT_TRUE(loadGLTF(path, charts, positions, colors));
            testing::internal::GetCapturedStdout();
            ASSERT_EQ(charts.size(), 1u);
            EXPECT_EQ(positions, (iuv::DoubleVector{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}));
            EXPECT_TRUE(colors.empty());
            const Chart& c = charts[0];
            EXPECT_EQ(c.triIndicesPos, (iuv::UIntVector{0, 1, 2, 0, 2, 3}));
            ASSERT_EQ(c.numUVVertices(), 4u);
            for (size_t k = 0; k < 6; ++k) {
                const uint32_t p = c.triIndicesPos[k], t = c.triIndicesUV[k];
                // The quad's UV equals its x,y once the rows are turned over.
                EXPECT_EQ(c.uvCoords2D[2 * t], positions[3 * p]);
                EXPECT_EQ(c.uvCoords2D[2 * t + 1], positions[3 * p + 1]);
            }
        }
    }
}

TEST(GltfReader, SeamsOfAGeneratedMeshMatchItsObjNumbering)
{
    testsupport::TempDir dir("tarnwick_gltf");
    meshgen::MeshData mesh = meshgen::openCylinder(8, 4);
    meshgen::addColors(mesh);
    const meshgen::MeshData canonical = testsupport::canonicalForGltf(mesh);
    ChartList charts;
    iuv::DoubleVector positions, colors;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadGLTF(testsupport::writeTextFile(dir.file("c.gltf"), testsupport::gltfText(testsupport::toGltfMesh(mesh))),
                         charts, positions, colors));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(charts.size(), 1u);
    EXPECT_EQ(positions.size(), canonical.positions.size());
    EXPECT_TRUE(std::equal(positions.begin(), positions.end(), canonical.positions.begin()));
    EXPECT_TRUE(std::equal(colors.begin(), colors.end(), canonical.colors.begin()));
    EXPECT_TRUE(std::equal(charts[0].triIndicesPos.begin(), charts[0].triIndicesPos.end(), canonical.posIndices.begin()));
    EXPECT_TRUE(std::equal(charts[0].triIndicesUV.begin(), charts[0].triIndicesUV.end(), canonical.uvIndices.begin()));
    // Dyadic v values survive the turn of the rows exactly.
    ASSERT_EQ(charts[0].uvCoords2D.size(), canonical.uvs.size());
    EXPECT_TRUE(std::equal(charts[0].uvCoords2D.begin(), charts[0].uvCoords2D.end(), canonical.uvs.begin()));
}

struct BadGltf {
    std::string name;
    std::string content;
    std::string message;
};

std::vector<BadGltf> badFiles()
{
    const std::string text = testsupport::gltfText(quad());
    const std::string glb = testsupport::glbBytes(quad());
    GltfMesh outOfRange = quad();
    outOfRange.indices[4] = 7;
    GltfMesh nan = quad();
    nan.positions[4] = std::numeric_limits<float>::quiet_NaN();
    GltfMesh inf = quad();
    inf.texcoords[1] = std::numeric_limits<float>::infinity();
    GltfMesh degenerate = quad();
    degenerate.positions[6] = 1;
    degenerate.positions[7] = 0; // vertex 2 welds onto vertex 1
    GltfMesh ragged = quad();
    ragged.indices.pop_back();
    const std::string sparse = "\"count\":4,\"type\":\"VEC2\",\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":0,"
                               "\"byteOffset\":12,\"componentType\":5125},\"values\":{\"bufferView\":1}}}";
    const char* parseFailed = "Failed to load/parse glTF.";
    return {
        {"empty", "", "The file is empty."},
        {"not_json", "{ this is not", parseFailed},
        {"truncated_glb", glb.substr(0, glb.size() / 2), "Invalid glTF binary."},
        {"glb_header_only", glb.substr(0, 20), parseFailed},
        {"position_count_beyond_view", replaced(text, "\"count\":4,\"type\":\"VEC3\"", "\"count\":400,\"type\":\"VEC3\""),
         "POSITION reaches outside its buffer view."},
        {"view_beyond_buffer", replaced(text, "\"byteLength\":48}", "\"byteLength\":4800}"),
         "POSITION uses a buffer view that reaches outside its buffer."},
        {"missing_accessor", replaced(text, "\"POSITION\":0", "\"POSITION\":9"),
         "POSITION refers to an accessor that does not exist."},
        {"missing_view", replaced(text, "{\"bufferView\":1,", "{\"bufferView\":7,"),
         "TEXCOORD_0 refers to a buffer view that does not exist."},
        {"missing_external_buffer",
         replaced(text, text.substr(text.find("data:"), text.rfind('"') - text.find("data:")), "missing.bin"), "missing.bin"},
        {"device_buffer",
         replaced(text, text.substr(text.find("data:"), text.rfind('"') - text.find("data:")), "/dev/zero"),
         "/dev/zero"},
        {"two_primitives", testsupport::gltfText(quad(), 2), "Input must be a single chart."},
        {"index_out_of_range", testsupport::gltfText(outOfRange),
         "The file holds faces that refer to vertices that do not exist."},
        {"nan_position", testsupport::gltfText(nan), "The file holds coordinates that are not finite numbers."},
        {"infinite_texcoord", testsupport::gltfText(inf), "The file holds coordinates that are not finite numbers."},
        {"degenerate_after_weld", testsupport::gltfText(degenerate), "Input must not have degenerate triangles."},
        {"ragged_indices", testsupport::gltfText(ragged), "corner count is not a multiple of 3."},
        {"lines", replaced(text, "\"mode\":4", "\"mode\":1"), "not made of triangles."},
        {"texcoord_as_vec3", replaced(text, "\"count\":4,\"type\":\"VEC2\"", "\"count\":4,\"type\":\"VEC3\""),
         "TEXCOORD_0 has 3 components per element, not 2."},
        {"integer_positions", replaced(text, "\"componentType\":5126,\"count\":4,\"type\":\"VEC3\"",
                                       "\"componentType\":5123,\"count\":4,\"type\":\"VEC3\""),
         "POSITION must hold floating-point values."},
        {"sparse_index_outside", replaced(text, "\"count\":4,\"type\":\"VEC2\"}", sparse),
         "TEXCOORD_0 has a sparse index that points outside the accessor."},
        {"sparse_count_too_large",
         replaced(replaced(text, "\"count\":4,\"type\":\"VEC2\"}", sparse), "\"sparse\":{\"count\":1", "\"sparse\":{\"count\":9"),
         "TEXCOORD_0 has a sparse substitution count outside the accessor."},
        {"no_mesh", "{\"asset\":{\"version\":\"2.0\"},\"meshes\":[]}",
         "Input must have at least one triangle."},
    };
}

TEST(GltfReader, MalformedFilesAreRefusedWithAReason)
{
    testsupport::TempDir dir("tarnwick_gltf");
    for (const BadGltf& bad : badFiles()) {
        SCOPED_TRACE(bad.name);
        const bool binary = bad.name.find("glb") != std::string::npos;
        const std::string path = testsupport::writeBinaryFile(dir.file(bad.name + (binary ? ".glb" : ".gltf")), bad.content);
        const Loaded r = loadFile(path);
        EXPECT_NE(r.status, LoadStatus::Loaded);
        EXPECT_NE(r.console.find(bad.message), std::string::npos) << r.console;
        EXPECT_TRUE(r.model.charts.empty());
        EXPECT_TRUE(r.model.sharedPositions.empty());
    }
}

TEST(GltfReader, OnlyRegularFilesAreRead)
{
    testsupport::TempDir dir("tarnwick_gltf");
    const std::string pipe = dir.file("pipe.glb");
    const std::string folder = dir.file("folder.gltf");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const std::string& path : {pipe, folder}) {
        SCOPED_TRACE(path);
        const Loaded r = loadFile(path);
        EXPECT_NE(r.status, LoadStatus::Loaded);
        EXPECT_NE(r.console.find("not a regular file"), std::string::npos) << r.console;
        EXPECT_NE(r.console.find("Failed to load/parse glTF."), std::string::npos) << r.console;
    }
}

TEST(GltfReader, AnUntexturedPrimitiveIsFlattenedAndColoursAreKept)
{
    testsupport::TempDir dir("tarnwick_gltf");
    GltfMesh mesh = quad();
    mesh.texcoords.clear();
    mesh.colors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    const Loaded r = loadFile(testsupport::writeTextFile(dir.file("u.gltf"), testsupport::gltfText(mesh)));
    ASSERT_EQ(r.status, LoadStatus::Loaded) << r.console;
    EXPECT_NE(r.console.find("Read 1 parts, including 1 untextured ones."), std::string::npos);
    EXPECT_EQ(r.model.vertexColors, (iuv::DoubleVector{1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1}));
    ASSERT_FALSE(r.model.charts.empty());
    EXPECT_FALSE(r.model.charts[0].triIndicesUV.empty());
}

TEST(GltfReader, FileNamesAreToldApartByExtension)
{
    for (const char* name : {"a.gltf", "a.GLB", "dir.x/b.glb", "c.GlTf"})
        EXPECT_TRUE(isGLTFFileName(name)) << name;
    for (const char* name : {"a.obj", "gltf", "dir.glb/model", "a.glb.obj", "a.gltfx"})
        EXPECT_FALSE(isGLTFFileName(name)) << name;
}

} // namespace
