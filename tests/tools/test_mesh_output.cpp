// OBJ text, model conversion and the colour / UV modifiers.
#include "mesh_checks.h"
#include "model/obj_loader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

using meshgen::MeshData;

namespace {

struct ParsedOBJ {
    std::vector<long> cones;                    // as written (1-based)
    std::vector<std::vector<std::string>> v;    // number fields of v lines
    std::vector<std::vector<std::string>> vt;
    std::vector<std::vector<std::string>> f;    // corner fields of f lines
    std::vector<std::string> other;
};

ParsedOBJ parse(const std::string& text)
{
    ParsedOBJ obj;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key, field;
        words >> key;
        std::vector<std::string> fields;
        while (words >> field)
            fields.push_back(field);
        if (key == "c" && fields.size() == 1)
            obj.cones.push_back(std::stol(fields[0]));
        else if (key == "v")
            obj.v.push_back(fields);
        else if (key == "vt")
            obj.vt.push_back(fields);
        else if (key == "f")
            obj.f.push_back(fields);
        else
            obj.other.push_back(line);
    }
    return obj;
}

std::string writeToText(const MeshData& mesh)
{
    const std::string dir = testsupport::makeTempDir("meshgen_obj");
    const std::string path = dir + "/mesh.obj";
    EXPECT_TRUE(meshgen::writeOBJ(mesh, path));
    const std::string text = testsupport::readTextFile(path);
    std::remove(path.c_str());
    std::remove(dir.c_str());
    return text;
}

} // namespace

TEST(WriteOBJ, TexturedMeshWithCones)
{
    const MeshData mesh = meshgen::cubeNet(2);
    const ParsedOBJ obj = parse(writeToText(mesh));
    EXPECT_TRUE(obj.other.empty()) << obj.other.front();
    ASSERT_EQ(obj.cones.size(), mesh.cones.size());
    for (size_t i = 0; i < mesh.cones.size(); ++i)
        EXPECT_EQ(obj.cones[i], long(mesh.cones[i]) + 1);

    ASSERT_EQ(obj.v.size(), mesh.numVertices());
    for (size_t k = 0; k < obj.v.size(); ++k) {
        ASSERT_EQ(obj.v[k].size(), 3u);
        for (int c = 0; c < 3; ++c) // exact round trip through single precision
            EXPECT_EQ(double(std::strtof(obj.v[k][c].c_str(), nullptr)), mesh.positions[3 * k + c]);
    }
    ASSERT_EQ(obj.vt.size(), mesh.numUVVertices());
    for (size_t k = 0; k < obj.vt.size(); ++k) {
        ASSERT_EQ(obj.vt[k].size(), 2u);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(double(std::strtof(obj.vt[k][c].c_str(), nullptr)), mesh.uvs[2 * k + c]);
    }
    ASSERT_EQ(obj.f.size(), mesh.numTriangles());
    for (size_t t = 0; t < obj.f.size(); ++t) {
        ASSERT_EQ(obj.f[t].size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const std::string expected = std::to_string(mesh.posIndices[3 * t + i] + 1) + "/" +
                                         std::to_string(mesh.uvIndices[3 * t + i] + 1);
            EXPECT_EQ(obj.f[t][i], expected);
        }
    }
}

TEST(WriteOBJ, UntexturedAndColouredMesh)
{
    MeshData mesh = meshgen::flatGrid(3, 2, meshgen::Outline::Rectangle);
    meshgen::addColors(mesh);
    meshgen::dropUVs(mesh);
    const ParsedOBJ obj = parse(writeToText(mesh));
    EXPECT_TRUE(obj.cones.empty());
    EXPECT_TRUE(obj.vt.empty());
    ASSERT_EQ(obj.v.size(), mesh.numVertices());
    for (size_t k = 0; k < obj.v.size(); ++k) {
        ASSERT_EQ(obj.v[k].size(), 6u);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(double(std::strtof(obj.v[k][3 + c].c_str(), nullptr)), mesh.colors[3 * k + c]);
    }
    ASSERT_EQ(obj.f.size(), mesh.numTriangles());
    for (size_t t = 0; t < obj.f.size(); ++t)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(obj.f[t][i], std::to_string(mesh.posIndices[3 * t + i] + 1));
}

TEST(WriteOBJ, FailsOnAnUnwritablePath)
{
    EXPECT_FALSE(meshgen::writeOBJ(meshgen::cubeNet(1), "/nonexistent-dir/for/sure/mesh.obj"));
    // An empty mesh writes an empty file.
    EXPECT_EQ(writeToText(MeshData()), "");
}

TEST(ToModel, OneChartWithConesAndColours)
{
    MeshData mesh = meshgen::cubeNet(2);
    meshgen::addColors(mesh);
    const Model model = meshgen::toModel(mesh);
    ASSERT_EQ(model.charts.size(), 1u);
    EXPECT_EQ(std::vector<uint32_t>(model.charts[0].triIndicesPos), mesh.posIndices);
    EXPECT_EQ(std::vector<uint32_t>(model.charts[0].triIndicesUV), mesh.uvIndices);
    EXPECT_EQ(std::vector<double>(model.charts[0].uvCoords2D), mesh.uvs);
    EXPECT_EQ(std::vector<double>(model.sharedPositions), mesh.positions);
    EXPECT_EQ(std::vector<double>(model.vertexColors), mesh.colors);
    EXPECT_EQ(std::vector<uint32_t>(model.coneSingularities), mesh.cones);
    EXPECT_FALSE(hasUVFlips(model.charts[0]));

    meshgen::dropUVs(mesh);
    const Model untextured = meshgen::toModel(mesh);
    ASSERT_EQ(untextured.charts.size(), 1u);
    EXPECT_EQ(untextured.charts[0].numTriangles(), mesh.numTriangles());
    EXPECT_TRUE(untextured.charts[0].triIndicesUV.empty());
    EXPECT_TRUE(untextured.charts[0].uvCoords2D.empty());

    const Model empty = meshgen::toModel(MeshData());
    ASSERT_EQ(empty.charts.size(), 1u);
    EXPECT_EQ(empty.charts[0].numTriangles(), 0u);
}

TEST(Modifiers, ColoursVaryInsideTheUnitRange)
{
    MeshData mesh = meshgen::openCylinder(16, 4);
    meshgen::addColors(mesh);
    ASSERT_EQ(mesh.colors.size(), mesh.positions.size());
    double lo = 1.0, hi = 0.0;
    for (double c : mesh.colors) {
        EXPECT_GE(c, 0.0);
        EXPECT_LE(c, 1.0);
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    EXPECT_GT(hi - lo, 0.3);
    EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");

    // Degenerate inputs: no vertices, a single point, non-finite positions.
    MeshData empty;
    meshgen::addColors(empty);
    EXPECT_TRUE(empty.colors.empty());
    MeshData odd;
    odd.positions = {1.0, 1.0, 1.0, std::nan(""), 1e308, -1e308};
    meshgen::addColors(odd);
    ASSERT_EQ(odd.colors.size(), 6u);
    for (double c : odd.colors)
        EXPECT_TRUE(c >= 0.0 && c <= 1.0);
}

TEST(Modifiers, DropUVsLeavesAValidUntexturedMesh)
{
    MeshData mesh = meshgen::cubeNet(2);
    meshgen::dropUVs(mesh);
    EXPECT_FALSE(mesh.isTextured());
    EXPECT_TRUE(mesh.uvs.empty());
    EXPECT_EQ(mesh.cones.size(), 8u);
    EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
    EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
}

TEST(WriteOBJ, ShortestSinglePrecisionNumbers)
{
    MeshData mesh;
    mesh.positions = {0.1f, -0.4f, 2.0, 1.0 / 3.0, 1e-7f, 12345678.0};
    mesh.posIndices = {0, 1, 0};
    const ParsedOBJ obj = parse(writeToText(mesh));
    ASSERT_EQ(obj.v.size(), 2u);
    EXPECT_EQ(obj.v[0], (std::vector<std::string>{"0.1", "-0.4", "2"}));
    // A value that is not single-precision keeps nine significant digits.
    EXPECT_EQ(obj.v[1][0], "0.333333333");
    EXPECT_EQ(double(std::strtof(obj.v[1][1].c_str(), nullptr)), double(1e-7f));
    EXPECT_EQ(obj.v[1][2], "12345678");
}

TEST(WriteOBJ, ProgramLoaderReadsTheMeshBack)
{
    MeshData mesh = meshgen::cubeNet(3);
    meshgen::addColors(mesh);
    const std::string dir = testsupport::makeTempDir("meshgen_load");
    const std::string path = dir + "/cube.obj";
    ASSERT_TRUE(meshgen::writeOBJ(mesh, path));

    ChartList charts;
    iuv::DoubleVector positions, colors;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = loadOBJ(path, charts, positions, colors);
    const iuv::UIntVector cones = readConeSingularities(path, positions.size() / 3);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    std::remove(path.c_str());
    std::remove(dir.c_str());

    ASSERT_TRUE(loaded);
    const Model expected = meshgen::toModel(mesh);
    ASSERT_EQ(charts.size(), 1u);
    EXPECT_EQ(positions, expected.sharedPositions); // exact: all values are floats
    EXPECT_EQ(colors, expected.vertexColors);
    EXPECT_EQ(cones, expected.coneSingularities);
    EXPECT_EQ(charts[0].triIndicesPos, expected.charts[0].triIndicesPos);
    EXPECT_EQ(charts[0].triIndicesUV, expected.charts[0].triIndicesUV);
    EXPECT_EQ(charts[0].uvCoords2D, expected.charts[0].uvCoords2D);
}
