// The result files (OBJ, binary glTF, statistics, atlas drawing), each read
// back by a parser of its own; cone files.
#include "app/model_loading.h"
#include "io/cone_file.h"
#include "io/gltf_reader.h"
#include "io/gltf_writer.h"
#include "io/obj_reader.h"
#include "io/obj_writer.h"
#include "io/result_files.h"
#include "meshgen/meshgen.h"
#include "support/formats.h"
#include "support/gltf_files.h"
#include "support/test_support.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

using testsupport::readTextFile;
using testsupport::writeTextFile;

namespace {

template <typename T>
bool sameBits(const T* a, const T* b, size_t n)
{
    return std::memcmp(a, b, n * sizeof(T)) == 0;
}

template <typename A, typename B>
bool bitIdentical(const A& a, const B& b)
{
    return a.size() == b.size() && sameBits(a.data(), b.data(), a.size());
}

struct Read {
    ChartList charts;
    iuv::DoubleVector positions, colors;
    iuv::UIntVector cones;
};

Read readBack(const std::string& path, bool gltf)
{
    Read r;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(gltf ? loadGLTF(path, r.charts, r.positions, r.colors)
                     : loadOBJ(path, r.charts, r.positions, r.colors, &r.cones));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.charts.size(), 1u);
    return r;
}

} // namespace

// Every coordinate in the shortest form that reads back as the same double,
// read back by strtod and by the program's reader.
TEST(ObjWriter, LayoutReadsBackBitIdentical)
{
    const testsupport::TempDir dir("tarnwick_objw");
    const iuv::DoubleVector pos = {123456.001, 654321.002, 0.1 + 0.2, 1e-300, -2.5e-7, 1000.0000000000001,
                                   0.0,        1.0 / 3.0,  -0.0,      1,      1,       0.5};
    const iuv::DoubleVector colors = {0.1, 0.7, 1.0 / 7.0, 1, 0, 0.5, 0.25, 0.125, 2.0 / 3.0, 0.5, 0.5, 0.5};
    Chart chart = testsupport::makeChart({0, 1, 2, 0, 2, 3}, {}, {0.1, 1.0 / 3.0, 1, 1e-17, 0.9999999999999999, 0.5, 0, 1});
    ASSERT_TRUE(writeLayoutOBJ(chart, pos, colors, {0, 3}, dir.file("x.obj")));
    const std::string text = readTextFile(dir.file("x.obj"));
    EXPECT_EQ(text.substr(0, text.find('\n', 16)),
              "c 1 0.0\nc 4 0.0\nv 123456.001 654321.002 0.30000000000000004 0.1 0.7 0.14285714285714285");
    EXPECT_NE(text.find("\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\n"), std::string::npos);
    std::vector<double> values, uvs;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string keyword, word;
        words >> keyword;
        while ((keyword == "v" || keyword == "vt") && words >> word)
            (keyword == "v" ? values : uvs).push_back(std::strtod(word.c_str(), nullptr));
    }
    ASSERT_EQ(values.size(), 24u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(sameBits(&values[6 * i], &pos[3 * i], 3)) << i;
        EXPECT_TRUE(sameBits(&values[6 * i + 3], &colors[3 * i], 3)) << i;
    }
    EXPECT_TRUE(bitIdentical(uvs, chart.uvCoords2D));
    const Read r = readBack(dir.file("x.obj"), false);
    EXPECT_TRUE(bitIdentical(r.positions, pos));
    EXPECT_TRUE(bitIdentical(r.colors, colors));
    EXPECT_EQ(r.cones, (iuv::UIntVector{0, 3}));
    EXPECT_EQ(r.charts[0].triIndicesPos, chart.triIndicesPos);
}

TEST(ObjWriter, UntexturedFacesChartDumpsAndUnwritableFiles)
{
    const testsupport::TempDir dir("tarnwick_objw");
    Chart untextured;
    untextured.triIndicesPos = {0, 1, 2};
    const iuv::DoubleVector pos = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_TRUE(writeLayoutOBJ(untextured, pos, {}, {}, dir.file("u.obj")));
    EXPECT_EQ(readTextFile(dir.file("u.obj")), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(writeChartOBJ(untextured, pos, dir.file("c.obj")));
    EXPECT_EQ(readTextFile(dir.file("c.obj")), "v 0 0 0\nv 1 0 0\nv 0 1 0\no object0\nf 1 2 3\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeChartOBJ(untextured, pos, dir.file("none/c.obj")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open file " + dir.file("none/c.obj") + " for writing OBJ.\n");
}

// The glTF parser library reads every corner back bit-identical, the seams
// split; the program's own reader gives back the model it wrote.
TEST(GlbWriter, RoundTripKeepsEveryCornerAndSplitsSeams)
{
    testsupport::TempDir dir("tarnwick_glbw");
    meshgen::MeshData mesh = meshgen::openCylinder(8, 3);
    meshgen::addColors(mesh);
    const testsupport::GltfMesh original = testsupport::toGltfMesh(mesh);
    const Read first = readBack(testsupport::writeBinaryFile(dir.file("in.glb"), testsupport::glbBytes(original)), true);
    ASSERT_TRUE(writeLayoutGLB(first.charts[0], first.positions, first.colors, dir.file("out.glb")));
    testsupport::GltfMesh written;
    std::string error;
    ASSERT_TRUE(testsupport::readGlb(dir.file("out.glb"), written, error)) << error;
    EXPECT_EQ(written.positions.size() / 3, mesh.numVertices() + 4u); // the seam's vertices twice
    ASSERT_EQ(written.indices.size(), original.indices.size());
    ASSERT_EQ(written.positions.size(), original.positions.size());
    ASSERT_EQ(written.colors.size(), original.colors.size());
    ASSERT_EQ(written.texcoords.size(), original.texcoords.size());
    for (size_t k = 0; k < written.indices.size(); ++k) {
        const uint32_t a = original.indices[k], b = written.indices[k];
        ASSERT_LT(b, written.positions.size() / 3);
        ASSERT_TRUE(sameBits(&written.positions[3 * b], &original.positions[3 * a], 3)) << k;
        ASSERT_TRUE(sameBits(&written.colors[3 * b], &original.colors[3 * a], 3)) << k;
        ASSERT_TRUE(sameBits(&written.texcoords[2 * b], &original.texcoords[2 * a], 2)) << k;
    }
    const Read second = readBack(dir.file("out.glb"), true);
    EXPECT_EQ(second.positions, first.positions);
    EXPECT_EQ(second.colors, first.colors);
    EXPECT_EQ(second.charts[0].triIndicesPos, first.charts[0].triIndicesPos);
    EXPECT_EQ(second.charts[0].triIndicesUV, first.charts[0].triIndicesUV);
    EXPECT_EQ(second.charts[0].uvCoords2D, first.charts[0].uvCoords2D);
}

TEST(GlbWriter, EmbedsTheTextureAndLeavesNothingBehindOnFailure)
{
    testsupport::TempDir dir("tarnwick_glbw");
    const Chart square = testsupport::unitSquareChart();
    const iuv::DoubleVector positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "not really an image";
    ASSERT_TRUE(writeLayoutGLB(square, positions, iuv::DoubleVector(), dir.file("t.glb"), png));
    tinygltf::Model m;
    testsupport::GltfMesh written;
    std::string error;
    ASSERT_TRUE(testsupport::readGlb(dir.file("t.glb"), written, error, &m)) << error;
    EXPECT_TRUE(written.colors.empty());
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(m.images[0].mimeType, "image/png");
    const tinygltf::BufferView& view = m.bufferViews.at(size_t(m.images[0].bufferView));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.buffers[0].data.data()) + view.byteOffset, view.byteLength), png);
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.materials[0].pbrMetallicRoughness.baseColorTexture.index, 0);
    EXPECT_EQ(m.textures.at(0).source, 0);
    EXPECT_EQ(m.meshes.at(0).primitives.at(0).material, 0);

    const std::string missing = dir.file("no/such/folder/t.glb");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeLayoutGLB(square, positions, iuv::DoubleVector(), missing));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Unable to open file " + missing + " for writing."), std::string::npos);
    EXPECT_FALSE(std::ifstream(missing + ".part").good());
    EXPECT_EQ(glbNameFor("out/bl_200.obj"), "out/bl_200.glb");
}

TEST(ConeFile, NumbersCommentsAndRefusals)
{
    testsupport::TempDir dir("tarnwick_cones");
    struct Case {
        const char* name;
        const char* text;
        std::vector<uint32_t> cones; // expected, when accepted
        const char* error;           // expected part of the reason, or nullptr
    };
    const std::vector<Case> cases = {
        {"numbers_and_comments", "# cones\n1\n  3 # the third\n\n\t4\r\n1\n", {0, 2, 3}, nullptr},
        {"only_comments", "# none\n", {}, nullptr},
        {"zero", "2\n0\n", {}, "line 2: '0' is not a vertex number between 1 and 4."},
        {"beyond", "5", {}, "line 1: '5' is not a vertex number between 1 and 4."},
        {"negative", "-1", {}, "'-1' is not a vertex number"},
        {"two_numbers", "1 2", {}, "'1 2' is not a vertex number"},
        {"word", "c 1", {}, "'c 1' is not a vertex number"},
        {"huge", "99999999999999999999999", {}, "is not a vertex number"},
        {"missing", nullptr, {}, "Cannot read the cone file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.text)
            writeTextFile(dir.file(c.name), c.text);
        iuv::UIntVector cones;
        std::string why;
        EXPECT_EQ(readConeFile(dir.file(c.name), 4, cones, why), c.error == nullptr) << why;
        EXPECT_NE(why.find(c.error ? c.error : ""), std::string::npos) << why;
        EXPECT_EQ(cones, iuv::UIntVector(c.cones));
    }
}

// A cone file adds to the OBJ's cone lines; for glTF it names the file's own
// vertices, which the reader welds.
TEST(ConeFile, AddsToObjConeLinesAndNamesGltfVerticesOfTheFile)
{
    testsupport::TempDir dir("tarnwick_cones");
    meshgen::MeshData mesh = meshgen::openCylinder(6, 2);
    mesh.cones = {0};
    meshgen::writeOBJ(mesh, dir.file("m.obj"));
    const testsupport::GltfMesh g = testsupport::toGltfMesh(mesh);
    testsupport::writeBinaryFile(dir.file("m.glb"), testsupport::glbBytes(g));
    // The glTF file's last vertex is a seam duplicate of the mesh's vertex at its position.
    const size_t last = g.positions.size() / 3 - 1;
    size_t welded = 0;
    while (float(mesh.positions[3 * welded]) != g.positions[3 * last] ||
           float(mesh.positions[3 * welded + 1]) != g.positions[3 * last + 1] ||
           float(mesh.positions[3 * welded + 2]) != g.positions[3 * last + 2])
        ++welded;
    ASSERT_NE(welded, last);
    writeTextFile(dir.file("obj.cones"), "3\n1\n");
    writeTextFile(dir.file("glb.cones"), std::to_string(last + 1) + "\n");
    writeTextFile(dir.file("bad.cones"), "1\nseven\n");
    struct Case {
        const char* model;
        const char* cones;
        LoadStatus status;
        std::vector<uint32_t> expected;
    };
    const std::vector<Case> cases = {
        {"m.obj", "obj.cones", LoadStatus::Loaded, {0, 2}},
        {"m.glb", "glb.cones", LoadStatus::Loaded, {uint32_t(welded)}},
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

TEST(StatisticsFile, ExactTextOnConsoleAndInFileAndUnwritableFiles)
{
    testsupport::TempDir dir("tarnwick_json");
    UnwrappingStats s;
    s.numCharts = 3;
    s.numVertices = 120;
    s.numTriangles = 200;
    s.packingEfficiency = 71.234567;
    s.normBLen = 5.5;
    s.flipsFound = true;
    const std::string body = "{\n  \"boxifyTime\":1234.57,\n  \"numVertices\":120,\n  \"numTriangles\":200,\n"
                             "  \"numCharts\":3,\n  \"packingEfficiency\":71.2346,\n  \"normBLen\":5.5,\n"
                             "  \"flipsFound\":true,\n  \"overlapsFound\":false\n}\n";
    UnwrappingStats small; // small and whole numbers in their shortest general form
    small.normBLen = 1e-7;
    struct Case {
        UnwrappingStats stats;
        double boxifyTime;
        std::string file, console; // the file's text when written
        bool written;
    };
    const std::vector<Case> cases = {
        {s, 1234.5678, body, "//BEGIN STATS\n" + body + "//END STATS\n", true},
        {small, 12.5, "", "\"boxifyTime\":12.5,\n  \"numVertices\":0,", true},
        {small, 12.5, "", "\"packingEfficiency\":0,\n  \"normBLen\":1e-07,", true},
        {s, 0.0, "", "//END STATS\nUnable to open file " + dir.file("none/x.json") + " for writing.\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.console);
        const std::string path = dir.file(c.written ? "a.json" : "none/x.json");
        testing::internal::CaptureStdout();
        EXPECT_EQ(writeResultJSON(c.stats, c.boxifyTime, path), c.written);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_NE(console.find(c.console), std::string::npos) << console;
        EXPECT_EQ(console.find("//BEGIN STATS\n{\n"), 0u);
        if (!c.written)
            continue;
        const std::string text = readTextFile(path);
        EXPECT_TRUE(c.file.empty() || text == c.file) << text;
        EXPECT_NE(console.find(text), std::string::npos);
        std::vector<std::pair<std::string, std::string>> fields;
        std::string error;
        EXPECT_TRUE(testsupport::parseFlatJSON(text, fields, error)) << error;
        EXPECT_EQ(fields.size(), 8u);
    }
}

TEST(AtlasSVG, OneTriangleGolden)
{
    testsupport::TempDir dir("tarnwick_svg");
    ASSERT_TRUE(writeAtlasSVG({testsupport::makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1})}, UVBox(0, 0, 1, 1), dir.file("t.svg")));
    const std::string text = readTextFile(dir.file("t.svg"));
    const std::string head =
        "<?xml version=\"1.0\"?>\n<svg width=\"1448.15\" height=\"1448.15\" xmlns=\"http://www.w3.org/2000/svg\">\n"
        "    <rect x=\"0\" y=\"0\" width=\"1448.15\" height=\"1448.15\" style=\"fill:none;stroke:gray;stroke-width:8\"/>\n"
        "    <polygon points=\"0,1448.15 1448.15,1448.15 0,0\" style=\"fill:rgb(214, 239, 217);stroke:rgb(214, 239, 217)\" "
        "fill-opacity=\"1.0\" />\n    <polygon points=\"";
    EXPECT_EQ(text.substr(0, head.size()), head);
    // The outline may start at any vertex of the loop.
    EXPECT_NE(text.find("\" style=\"stroke-linecap:round;stroke-linejoin:bevel;fill:none;stroke:rgb(60, 60, 60);"
                        "stroke-width:3\" />\n</svg>\n", head.size()), std::string::npos);
    for (const char* point : {"0,1448.15 ", "1448.15,1448.15 ", "0,0 "})
        EXPECT_NE(text.find(point, head.size()), std::string::npos) << point;

    ASSERT_TRUE(writeAtlasSVG(ChartList(), UVBox(), dir.file("e.svg")));
    EXPECT_EQ(readTextFile(dir.file("e.svg")),
              "<?xml version=\"1.0\"?>\n<svg width=\"0\" height=\"0\" xmlns=\"http://www.w3.org/2000/svg\">\n"
              "    <rect x=\"0\" y=\"0\" width=\"0\" height=\"0\" style=\"fill:none;stroke:gray;stroke-width:8\"/>\n</svg>\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeAtlasSVG(ChartList(), UVBox(), dir.file("none/e.svg")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open file " + dir.file("none/e.svg") + " for writing.\n");
}

// Marked triangles in red, the palette repeating after 32 charts, red lines;
// read back by an XML parser.
TEST(AtlasSVG, MarkedTrianglesLinesAndPaletteIndex)
{
    testsupport::TempDir dir("tarnwick_svg");
    ChartList charts;
    for (int i = 0; i < 34; ++i)
        charts.push_back(testsupport::makeChart({0, 1, 2}, {}, {double(i), 0, double(i) + 1, 0, double(i), 1}));
    std::vector<bool> marked(34, false);
    marked[1] = true;
    const std::vector<double> lines = {0, 0, 1, 1};
    ASSERT_TRUE(writeAtlasSVG(charts, chartListUVBounds(charts), dir.file("m.svg"), &lines, &marked));
    const std::string text = readTextFile(dir.file("m.svg"));
    const testsupport::XmlSummary xml = testsupport::checkXml(text);
    ASSERT_TRUE(xml.wellFormed) << xml.error;
    EXPECT_EQ(xml.count("polygon"), 34u + 34u); // one per triangle plus one outline per chart
    EXPECT_EQ(xml.count("line"), 1u);
    EXPECT_NE(text.find("style=\"stroke:red;stroke-width:4\"/>"), std::string::npos);
    // The triangle of chart 1 is marked: red fill in chart 1's colour; chart 33 has that colour unmarked.
    std::vector<std::string> styles;
    for (size_t at = text.find("style=\"fill:"); at != std::string::npos; at = text.find("style=\"fill:", at + 1))
        styles.push_back(text.substr(at, text.find('"', at + 7) - at));
    ASSERT_EQ(styles.size(), 1u + 34u); // the frame, then the triangles
    const std::string colour1 = styles[2].substr(styles[2].find("stroke:") + 7);
    EXPECT_EQ(styles[2], "style=\"fill:red;stroke:" + colour1);
    EXPECT_EQ(styles[34], "style=\"fill:" + colour1 + ";stroke:" + colour1);
    EXPECT_NE(styles[1], styles[2]);
}
