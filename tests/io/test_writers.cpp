// The writers where the batch runs do not reach: untextured layouts, chart
// dumps, marked atlas drawings, files that cannot be opened; the binary glTF
// read back by the glTF parser library; cone files.
#include "io/cone_file.h"
#include "io/gltf_writer.h"
#include "io/obj_writer.h"
#include "io/result_files.h"
#include "meshgen/meshgen.h"
#include "support/formats.h"
#include "support/gltf_files.h"
#include "support/test_support.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

using testsupport::readTextFile;
using testsupport::writeTextFile;

TEST(Writers, UntexturedLayoutsChartDumpsAndUnwritableFiles)
{
    const testsupport::TempDir dir("tarnwick_writers");
    Chart untextured;
    untextured.triIndicesPos = {0, 1, 2};
    const iuv::DoubleVector pos = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_TRUE(writeLayoutOBJ(untextured, pos, {}, {}, dir.file("u.obj")));
    EXPECT_EQ(readTextFile(dir.file("u.obj")), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(writeChartOBJ(untextured, pos, dir.file("c.obj")));
    EXPECT_EQ(readTextFile(dir.file("c.obj")), "v 0 0 0\nv 1 0 0\nv 0 1 0\no object0\nf 1 2 3\n");

    const std::string missing = dir.file("none/x");
    const Chart square = testsupport::unitSquareChart();
    const iuv::DoubleVector squarePos = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const struct {
        std::function<bool()> write;
        std::string console;
    } failures[] = {
        {[&] { return writeChartOBJ(untextured, pos, missing); }, "Unable to open file " + missing + " for writing OBJ.\n"},
        {[&] { return writeLayoutGLB(square, squarePos, {}, missing); }, "Unable to open file " + missing + " for writing.\n"},
        {[&] { return writeAtlasSVG({}, UVBox(), missing); }, "Unable to open file " + missing + " for writing.\n"},
    };
    for (const auto& f : failures) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(f.write());
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_NE(console.find(f.console), std::string::npos) << console;
        EXPECT_FALSE(std::ifstream(missing + ".part").good());
    }
    EXPECT_EQ(glbNameFor("out/bl_200.obj"), "out/bl_200.glb");
}

// The glTF parser library reads every corner back as written (single
// precision, t = 1 - v), one vertex per distinct (vertex, UV vertex) pair so
// that seams are split, and the embedded texture bytes.
TEST(GlbWriter, TheParserReadsEveryCornerAndTheTextureBack)
{
    testsupport::TempDir dir("tarnwick_glbw");
    meshgen::MeshData mesh = meshgen::openCylinder(8, 3);
    meshgen::addColors(mesh);
    const Model model = meshgen::toModel(mesh);
    const Chart& chart = model.charts[0];
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "not really an image";
    ASSERT_TRUE(writeLayoutGLB(chart, model.sharedPositions, model.vertexColors, dir.file("c.glb"), png));
    tinygltf::Model m;
    testsupport::GltfMesh g;
    std::string error;
    ASSERT_TRUE(testsupport::readGlb(dir.file("c.glb"), g, error, &m)) << error;
    ASSERT_EQ(g.indices.size(), chart.triIndicesPos.size());
    std::set<std::pair<uint32_t, uint32_t>> pairs;
    for (size_t k = 0; k < g.indices.size(); ++k) {
        const uint32_t w = g.indices[k], p = chart.triIndicesPos[k], t = chart.triIndicesUV[k];
        pairs.emplace(p, t);
        ASSERT_LT(w, g.positions.size() / 3);
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_EQ(g.positions[3 * w + c], float(model.sharedPositions[3 * p + c])) << k;
            ASSERT_EQ(g.colors[3 * w + c], float(model.vertexColors[3 * p + c])) << k;
        }
        ASSERT_EQ(g.texcoords[2 * w], float(chart.uvCoords2D[2 * t])) << k;
        ASSERT_EQ(g.texcoords[2 * w + 1], float(1.0 - chart.uvCoords2D[2 * t + 1])) << k;
    }
    EXPECT_EQ(g.positions.size() / 3, pairs.size());
    EXPECT_GT(pairs.size(), mesh.numVertices()); // the seam's vertices twice
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(m.images[0].mimeType, "image/png");
    const tinygltf::BufferView& view = m.bufferViews.at(size_t(m.images[0].bufferView));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.buffers[0].data.data()) + view.byteOffset, view.byteLength), png);
    EXPECT_EQ(m.meshes.at(0).primitives.at(0).material, 0);
    EXPECT_EQ(m.materials.at(0).pbrMetallicRoughness.baseColorTexture.index, 0);
    EXPECT_EQ(m.textures.at(0).source, 0);
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
