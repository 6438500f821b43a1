// The OBJ and glTF readers and the model load behind them: accepted forms,
// every refusal with its reason, and what is not a regular file.
#include "app/model_loading.h"
#include "base/file_input.h"
#include "io/gltf_reader.h"
#include "io/obj_reader.h"
#include "support/gltf_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <sys/stat.h>

using testsupport::GltfMesh;

namespace {

struct Loaded {
    LoadStatus status = LoadStatus::ParseFailed;
    std::string console, title, text; // the console, and the refusal's message box
    int notices = 0;
    Model model;
};

Loaded load(const std::string& path, bool repack = true)
{
    Loaded r;
    r.model.sharedPositions = {1, 2, 3}; // a refusal leaves nothing of an earlier model
    r.model.coneSingularities = {0};
    testing::internal::CaptureStdout();
    r.status = loadModel(path, repack, r.model, [&](const std::string& title, const std::string& text) {
        ++r.notices;
        r.title = title;
        r.text = text;
    });
    r.console = testing::internal::GetCapturedStdout();
    return r;
}

struct Read {
    bool ok = false;
    std::string console;
    ChartList charts;
    iuv::DoubleVector positions, colors;
    iuv::UIntVector cones;
};

Read readOBJ(const std::string& path)
{
    Read r;
    testing::internal::CaptureStdout();
    r.ok = loadOBJ(path, r.charts, r.positions, r.colors, &r.cones);
    r.console = testing::internal::GetCapturedStdout();
    return r;
}

const std::string kTri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
const std::string kUV = "vt 0 0\nvt 1 0\nvt 0 1\n";
const std::string kQuad = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

GltfMesh gltfQuad()
{
    GltfMesh m;
    m.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    m.texcoords = {0, 1, 1, 1, 1, 0, 0, 0};
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

} // namespace

// Every accepted form, read as written: coordinates, UV numbering, colours and cones.
TEST(ObjReader, AcceptedForms)
{
    testsupport::TempDir dir("tarnwick_obj");
    std::string renumbered = kTri; // the face uses file coordinates 5, 2 and 9
    for (int i = 0; i < 10; ++i)
        renumbered += "vt " + std::to_string(i) + " " + std::to_string(10 * i) + "\n";
    const std::string cones = "c 1\n  c 3 0.0\ncurv 0.0 1.0 1 2\ncstype bspline\nc 0\nc -2\nc 5\nc 99999999999999999999\n";
    struct Case {
        const char* name;
        std::string text;
        const char* console; // a part of the console output
        size_t triangles;
        iuv::DoubleVector uv;         // expected when not empty
        iuv::UIntVector uvIndices;    // expected when not empty
        iuv::DoubleVector colors;
        iuv::UIntVector cones;
    };
    const std::vector<Case> cases = {
        {"quad", kQuad, "Successfully loaded.\nRead 1 parts, including 0 untextured ones.\n", 2,
         {0, 0, 1, 0, 1, 1, 0, 1}, {}, {}, {}},
        {"renumbered", renumbered + "f 1/6 2/3 3/10\n", "", 1, {2, 20, 5, 50, 9, 90}, {1, 0, 2}, {}, {}},
        {"colours", "v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nf 1 2 3\n", "Read 1 parts, including 1 untextured", 1,
         {}, {}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {}},
        {"colours on some vertices", "v 0 0 0 1 0 0\nv 1 0 0\nv 0 1 0 0 0 1\nf 1 2 3\n", "", 1, {}, {}, {}, {}},
        {"cone lines", kQuad + cones, "Ignoring cone singularity on line 14: vertex number 0 is out of range.\n"
         "Ignoring cone singularity on line 15: vertex number -2 is out of range.\n"
         "Ignoring cone singularity on line 16: vertex number 5 is out of range.\n"
         "Ignoring cone singularity on line 17: vertex number 9223372036854775807 is out of range.\n", 2, {}, {},
         {}, {0, 2}},
        {"bom", "\xEF\xBB\xBF" + kTri + kUV + "f 1/1 2/2 3/3\n", "", 1, {0, 0, 1, 0, 0, 1}, {}, {}, {}},
        {"crlf and comments", "# by hand\r\n" + kTri + kUV + "f 1/1 2/2 3/3 # one face\r\n", "", 1, {}, {0, 1, 2}, {}, {}},
        {"relative", kTri + kUV + "f -3/-3 -2/-2 -1/-1\n", "", 1, {}, {0, 1, 2}, {}, {}},
        {"normals", kTri + kUV + "vn 0 0 1\nf 1/1/1 2/2/1 3/3/1\n", "", 1, {}, {0, 1, 2}, {}, {}},
        {"materials ignored", "mtllib /dev/zero\nusemtl x\ns 1\n" + kTri + kUV + "f 1/1 2/2 3/3\n", "", 1, {}, {}, {}, {}},
        {"plus and tiny", "v +0 0 -1e-400\nv 1 0.0001e-400 1e-400\nv 0 1 0\n" + kUV + "f 1/1 2/2 3/3\n", "", 1, {}, {}, {}, {}},
        {"short faces", kTri + kUV + "f 1/1 2/2 3/3\nf 1/1 2/2\nf\n",
         "Skipped 2 faces with fewer than three corners (the first on line 8).", 1, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = readOBJ(testsupport::writeTextFile(dir.file("m.obj"), c.text));
        ASSERT_TRUE(r.ok) << r.console;
        EXPECT_NE(r.console.find(c.console), std::string::npos) << r.console;
        ASSERT_EQ(r.charts.size(), 1u);
        EXPECT_EQ(r.charts[0].numTriangles(), c.triangles);
        EXPECT_EQ(r.positions.size(), 3 * (c.triangles + 2));
        EXPECT_TRUE(c.uv.empty() || r.charts[0].uvCoords2D == c.uv);
        EXPECT_TRUE(c.uvIndices.empty() || r.charts[0].triIndicesUV == c.uvIndices);
        EXPECT_EQ(r.colors, c.colors);
        EXPECT_EQ(r.cones, c.cones);
    }
}

TEST(ModelLoad, UnrepackedAreaIsOneAndUVFlipsAreReportedButAccepted)
{
    testsupport::TempDir dir("tarnwick_obj");
    Loaded r = load(testsupport::writeTextFile(dir.file("a.obj"), kTri + "vt 0 0\nvt 4 0\nvt 0 4\nf 1/1 2/2 3/3\n"), false);
    ASSERT_EQ(r.status, LoadStatus::Loaded);
    EXPECT_NEAR(totalUVArea(r.model.charts), 1.0, 1e-12);
    EXPECT_EQ(r.console.find("Loading "), 0u);
    r = load(testsupport::writeTextFile(dir.file("f.obj"), kQuad.substr(0, kQuad.rfind('f')) + "vt 2 0.5\nf 1/1 2/2 3/3\nf 1/1 3/3 4/5\n"), false);
    ASSERT_EQ(r.status, LoadStatus::Loaded);
    EXPECT_NE(r.console.find("Input has UV flips.\n"), std::string::npos);
    EXPECT_EQ(r.notices, 0);
}

// Every refused file: its console reason, the same reason in the message box,
// and an empty model.
TEST(ModelLoad, RefusedFilesLeaveAnEmptyModel)
{
    testsupport::TempDir dir("tarnwick_refused");
    const char* noVertex = "The file holds faces that refer to vertices that do not exist.";
    const char* noTexcoord = "The file holds faces that refer to texture coordinates that do not exist.";
    const char* notFinite = "The file holds coordinates that are not finite numbers.";
    const char* unreadable = "The file holds a statement that cannot be read.";
    const char* noTriangle = "Input must have at least one triangle.";
    const char* glTFFailed = "Failed to load/parse glTF.";
    std::string polygon1001 = "f", repeated999;
    for (int i = 0; i < 1001; ++i)
        polygon1001 += " " + std::to_string(1 + i % 3);
    for (int i = 0; i < 999; ++i)
        repeated999 += "v " + std::to_string(std::cos(6.283185307179586 * i / 999)) + " " +
                       std::to_string(std::sin(6.283185307179586 * i / 999)) + " 0\n";
    repeated999 += "f";
    for (int i = 0; i < 999; ++i)
        repeated999 += " " + std::to_string(i == 500 || i == 700 || i == 900 ? 3 : i + 1);

    const std::string text = testsupport::gltfText(gltfQuad());
    const std::string glb = testsupport::glbBytes(gltfQuad());
    const std::string dataUri = text.substr(text.find("data:"), text.rfind('"') - text.find("data:"));
    GltfMesh outOfRange = gltfQuad(), nan = gltfQuad(), degenerate = gltfQuad(), ragged = gltfQuad();
    outOfRange.indices[4] = 7;
    nan.positions[4] = std::numeric_limits<float>::quiet_NaN();
    degenerate.positions[6] = 1;
    degenerate.positions[7] = 0; // vertex 2 welds onto vertex 1
    ragged.indices.pop_back();
    GltfMesh fewTexcoords = gltfQuad(), fewColours = gltfQuad();
    fewTexcoords.texcoords.resize(6);
    fewColours.colors.assign(9, 0.5f);
    struct Case {
        const char* name;
        std::string content;
        LoadStatus status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty.obj", "", LoadStatus::Rejected, noTriangle},
        {"binary.obj", std::string("\x7f\x45\x4c\x46\x00\x01\xff\xfe v\x00 f\x01\n\x00\x00", 18), LoadStatus::Rejected,
         noTriangle},
        {"badv.obj", kTri + "f 1 2 7\n", LoadStatus::ParseFailed, noVertex},
        {"negv.obj", kTri + "f 1 2 -9\n", LoadStatus::ParseFailed, noVertex},
        {"zero.obj", kTri + "f 0 1 2\n", LoadStatus::ParseFailed, noVertex},
        {"overflowv.obj", kTri + "f 1 2 99999999999999999999\n", LoadStatus::ParseFailed, noVertex},
        {"badvt.obj", kTri + "vt 0 0\nf 1/1 2/2 3/9\n", LoadStatus::ParseFailed, noTexcoord},
        {"relative_vt.obj", kTri + "f 1/-1 2/-1 3/-1\n" + kUV, LoadStatus::ParseFailed, noTexcoord},
        {"mixed.obj", kTri + "v 1 1 0\n" + kUV + "f 1/1 2/2 3/3\nf 2 4 3\n", LoadStatus::ParseFailed,
         "The file holds faces that give texture coordinates on some corners but not on others."},
        {"nan.obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, notFinite},
        {"inf_vt.obj", kTri + "vt 0 0\nvt inf 0\nvt 0 1\nf 1/1 2/2 3/3\n", LoadStatus::ParseFailed, notFinite},
        {"overflow.obj", "v 0 0 0\nv 1e400 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, notFinite},
        {"bad_number.obj", "v 0 0 0\nv 1 0 x\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"two_numbers.obj", "v 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"bad_vertex_corner.obj", kTri + kUV + "f x/1 2/2 3/3\n", LoadStatus::ParseFailed, unreadable},
        {"bad_texture_corner.obj", kTri + kUV + "f 1/x 2/2 3/3\n", LoadStatus::ParseFailed, unreadable},
        {"lone_sign.obj", kTri + "f 1 2 -\n", LoadStatus::ParseFailed, unreadable},
        {"double_sign.obj", "v ++1 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"lone_plus.obj", "v + 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"corners1001.obj", kTri + polygon1001 + "\n", LoadStatus::ParseFailed, "The file holds a face with too many corners."},
        {"repeats999.obj", repeated999 + "\n", LoadStatus::ParseFailed, "The file holds a face whose corners repeat a vertex."},
        {"repeat.obj", kTri + kUV + "f 1/1 1/2 3/3\n", LoadStatus::Rejected, "Input must not have degenerate triangles."},
        {"collinear.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\n" + kUV + "f 1/1 2/2 3/3\n", LoadStatus::Rejected,
         "Input must not have degenerate triangles."},
        {"flatuv.obj", kTri + "vt 0.5 0.5\nf 1/1 2/1 3/1\n", LoadStatus::Rejected, "Input UV layout must have a non-zero area."},
        {"two_shapes.obj", "o first\n" + kQuad + "o second\nf 1/1 3/3 4/4\n", LoadStatus::Rejected,
         "Input must be a single chart."},
        {"empty.gltf", "", LoadStatus::ParseFailed, "The file is empty."},
        {"not_json.gltf", "{ this is not", LoadStatus::ParseFailed, glTFFailed},
        {"truncated.glb", glb.substr(0, glb.size() / 2), LoadStatus::ParseFailed, "Invalid glTF binary."},
        {"count_beyond_view.gltf", replaced(text, "\"count\":4,\"type\":\"VEC3\"", "\"count\":400,\"type\":\"VEC3\""),
         LoadStatus::ParseFailed, "POSITION reaches outside its buffer view."},
        {"missing_accessor.gltf", replaced(text, "\"POSITION\":0", "\"POSITION\":9"), LoadStatus::ParseFailed,
         "POSITION refers to an accessor that does not exist."},
        {"missing_buffer.gltf", replaced(text, dataUri, "missing.bin"), LoadStatus::ParseFailed, "missing.bin"},
        {"device_buffer.gltf", replaced(text, dataUri, "/dev/zero"), LoadStatus::ParseFailed, "/dev/zero"},
        {"folder_buffer.gltf", replaced(text, dataUri, "."), LoadStatus::ParseFailed, "it is a directory, not a regular file."},
        {"no_position.gltf", replaced(text, "\"POSITION\":0", "\"NORMAL\":0"), LoadStatus::ParseFailed,
         "The file holds a primitive without POSITION."},
        {"float_indices.gltf", replaced(text, "\"componentType\":5125", "\"componentType\":5126"), LoadStatus::ParseFailed,
         "The indices have a component type other than unsigned byte, short or int."},
        {"texcoord_count.gltf", testsupport::gltfText(fewTexcoords), LoadStatus::ParseFailed,
         "TEXCOORD_0 and POSITION hold different numbers of vertices."},
        {"colour_count.gltf", testsupport::gltfText(fewColours), LoadStatus::ParseFailed,
         "COLOR_0 and POSITION hold different numbers of vertices."},
        {"two_primitives.gltf", testsupport::gltfText(gltfQuad(), 2), LoadStatus::Rejected, "Input must be a single chart."},
        {"index_out_of_range.gltf", testsupport::gltfText(outOfRange), LoadStatus::ParseFailed, noVertex},
        {"nan_position.gltf", testsupport::gltfText(nan), LoadStatus::ParseFailed, notFinite},
        {"degenerate_after_weld.gltf", testsupport::gltfText(degenerate), LoadStatus::Rejected,
         "Input must not have degenerate triangles."},
        {"ragged_indices.gltf", testsupport::gltfText(ragged), LoadStatus::ParseFailed, "corner count is not a multiple of 3."},
        {"lines.gltf", replaced(text, "\"mode\":4", "\"mode\":1"), LoadStatus::ParseFailed, "not made of triangles."},
        {"integer_positions.gltf",
         replaced(text, "\"componentType\":5126,\"count\":4,\"type\":\"VEC3\"", "\"componentType\":5123,\"count\":4,\"type\":\"VEC3\""),
         LoadStatus::ParseFailed, "POSITION must hold floating-point values."},
        {"no_mesh.gltf", "{\"asset\":{\"version\":\"2.0\"},\"meshes\":[]}", LoadStatus::Rejected, noTriangle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded r = load(testsupport::writeTextFile(dir.file(c.name), c.content));
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.console.find(c.message), std::string::npos) << r.console;
        EXPECT_EQ(r.notices, 1);
        EXPECT_EQ(r.title, "Input Mesh Not Accepted");
        const bool obj = std::string(c.name).find(".obj") != std::string::npos;
        if (c.status == LoadStatus::ParseFailed && obj) {
            EXPECT_NE(r.console.find("Failed to load/parse .obj."), std::string::npos) << r.console;
            EXPECT_EQ(r.text.find(c.message), 0u) << r.text;
        } else if (c.status == LoadStatus::Rejected) {
            EXPECT_EQ(r.text.find("Cannot process input: "), 0u) << r.text;
        }
        EXPECT_TRUE(r.model.charts.empty());
        EXPECT_TRUE(r.model.sharedPositions.empty());
        EXPECT_TRUE(r.model.vertexColors.empty());
        EXPECT_TRUE(r.model.coneSingularities.empty());
    }
}

// Accepted glTF forms: untextured (flattened on load), RGBA colours, a vertex
// no triangle uses, corners welded into vertices, a buffer in a file of its
// own, an image that is never decoded.
TEST(GltfReader, AcceptedForms)
{
    testsupport::TempDir dir("tarnwick_gltf");
    GltfMesh plain = gltfQuad(), unused = gltfQuad(), unindexed;
    plain.texcoords.clear();
    plain.colors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    GltfMesh rgba = plain;
    rgba.colors = {1, 0, 0, 9, 0, 1, 0, 9, 0, 0, 1, 9, 1, 1, 1, 9, 0, 0};
    unused.positions.insert(unused.positions.end(), {5, 5, 5});
    unused.texcoords.insert(unused.texcoords.end(), {0.5f, 0.5f});
    for (uint32_t i : unused.indices) { // every corner a vertex of its own
        unindexed.positions.insert(unindexed.positions.end(), &unused.positions[3 * i], &unused.positions[3 * i + 3]);
        unindexed.texcoords.insert(unindexed.texcoords.end(), &unused.texcoords[2 * i], &unused.texcoords[2 * i + 2]);
    }
    const std::string text = testsupport::gltfText(gltfQuad());
    const std::string glb = testsupport::glbBytes(gltfQuad());
    const std::string dataUri = text.substr(text.find("data:"), text.rfind('"') - text.find("data:"));
    testsupport::writeTextFile(dir.file("quad.bin"), glb.substr(glb.size() - 104)); // the binary chunk
    const iuv::DoubleVector colours = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    struct Case {
        const char* name;
        std::string content;
        const char* console;
        size_t vertices;
        iuv::DoubleVector colours;
    };
    const std::vector<Case> cases = {
        {"untextured.gltf", testsupport::gltfText(plain), "Read 1 parts, including 1 untextured ones.", 4, colours},
        {"rgba.gltf", replaced(testsupport::gltfText(rgba), "\"count\":6,\"type\":\"VEC3\"", "\"count\":4,\"type\":\"VEC4\""),
         "including 1 untextured ones.", 4, colours},
        {"unused_vertex.gltf", testsupport::gltfText(unused), "including 0 untextured ones.", 5, {}},
        {"unindexed.glb", testsupport::glbBytes(unindexed), "including 0 untextured ones.", 4, {}},
        {"external_buffer.gltf", replaced(text, dataUri, "quad.bin"), "including 0 untextured ones.", 4, {}},
        {"image.gltf", replaced(text, "\"buffers\":[", "\"images\":[{\"uri\":\"data:image/png;base64,AAAA\"}],\"buffers\":["),
         "including 0 untextured ones.", 4, {}},
        {"missing_image.gltf", replaced(text, "\"buffers\":[", "\"images\":[{\"uri\":\"none.png\"}],\"buffers\":["),
         "including 0 untextured ones.", 4, {}}, // the parser's warning goes to the error stream
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded r = load(testsupport::writeTextFile(dir.file(c.name), c.content));
        ASSERT_EQ(r.status, LoadStatus::Loaded) << r.console;
        EXPECT_NE(r.console.find(c.console), std::string::npos) << r.console;
        EXPECT_EQ(r.model.vertexColors, c.colours);
        EXPECT_EQ(r.model.numVertices(), c.vertices);
        ASSERT_EQ(r.model.charts.size(), 1u);
        EXPECT_NEAR(totalUVArea(r.model.charts), 1.0, 1e-9);
    }
    for (const char* name : {"a.gltf", "a.GLB", "dir.x/b.glb", "c.GlTf"})
        EXPECT_TRUE(isGLTFFileName(name)) << name;
    for (const char* name : {"a.obj", "gltf", "dir.glb/model", "a.glb.obj", "a.gltfx"})
        EXPECT_FALSE(isGLTFFileName(name)) << name;
}

// What is not a regular file is refused before anything is read from it (the
// batch runs try the OBJ reader on a folder, a pipe and a device).
TEST(ModelLoad, OnlyRegularFilesAreRead)
{
    testsupport::TempDir dir("tarnwick_special");
    ASSERT_EQ(mkfifo(dir.file("pipe.glb").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.file("folder.gltf").c_str(), 0700), 0);
    const std::string obj = "\nFailed to load/parse .obj.\n", gltf = "Failed to load/parse glTF.";
    struct Case {
        std::string path, reason, failure;
    };
    const std::vector<Case> cases = {
        {"/proc/self/mem", "Input/output error.", obj}, // a regular file whose read fails
        {dir.file("pipe.glb"), "not a regular file", gltf},
        {dir.file("folder.gltf"), "not a regular file", gltf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Loaded r = load(c.path);
        EXPECT_EQ(r.status, LoadStatus::ParseFailed);
        EXPECT_NE(r.console.find(c.reason), std::string::npos) << r.console;
        EXPECT_NE(r.console.find(c.failure), std::string::npos) << r.console;
        if (c.failure == obj) {
            EXPECT_NE(r.console.find("Cannot open " + c.path + ": " + c.reason + obj), std::string::npos) << r.console;
        }
        EXPECT_EQ(r.notices, 1);
        EXPECT_NE(r.text.find(c.reason), std::string::npos);
        EXPECT_TRUE(r.model.charts.empty());
    }
    // The size limit holds for a file that says how large it is and for one
    // that does not.
    for (const std::string& path : {testsupport::writeTextFile(dir.file("long.obj"), kQuad), std::string("/proc/self/status")}) {
        std::string contents, why;
        EXPECT_FALSE(readRegularFile(path, contents, why, 16));
        EXPECT_EQ(why.find("the file is too large"), 0u) << why;
        EXPECT_TRUE(contents.empty());
    }
}
