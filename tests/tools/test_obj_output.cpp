// OBJ files of the generators read back through the program's own parser,
// and the bundled examples match the commands that made them.
#include "generated_input.h"
#include "io/obj_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>

using meshgen::MeshData;

namespace {

// The file as a mesh, read by the program's parser.
bool readBack(const std::string& path, MeshData& mesh)
{
    ChartList charts;
    iuv::DoubleVector positions, colors;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    iuv::UIntVector cones;
    const bool loaded = loadOBJ(path, charts, positions, colors, &cones);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (!loaded || charts.size() != 1)
        return false;
    mesh.positions.assign(positions.begin(), positions.end());
    mesh.colors.assign(colors.begin(), colors.end());
    mesh.cones.assign(cones.begin(), cones.end());
    mesh.posIndices.assign(charts[0].triIndicesPos.begin(), charts[0].triIndicesPos.end());
    mesh.uvIndices.assign(charts[0].triIndicesUV.begin(), charts[0].triIndicesUV.end());
    mesh.uvs.assign(charts[0].uvCoords2D.begin(), charts[0].uvCoords2D.end());
    return true;
}

void expectSameMesh(const MeshData& a, const MeshData& b)
{
    EXPECT_EQ(a.posIndices, b.posIndices);
    EXPECT_EQ(a.uvIndices, b.uvIndices);
    EXPECT_EQ(a.cones, b.cones);
    // Coordinates are single-precision values written in their shortest form.
    EXPECT_EQ(a.positions, b.positions);
    EXPECT_EQ(a.uvs, b.uvs);
    EXPECT_EQ(a.colors, b.colors);
}

MeshData withColors(MeshData mesh)
{
    meshgen::addColors(mesh);
    return mesh;
}

} // namespace

TEST(WriteOBJ, RoundTripsExactlyThroughTheProgramsParser)
{
    testsupport::TempDir tmp("meshgen_obj");
    const std::string& dir = tmp.path();
    MeshData untextured = meshgen::saddle(3);
    for (const MeshData& mesh : {withColors(meshgen::cubeNet(2)), untextured, meshgen::openCylinder(5, 2)}) {
        ASSERT_TRUE(meshgen::writeOBJ(mesh, dir + "/m.obj"));
        MeshData back;
        ASSERT_TRUE(readBack(dir + "/m.obj", back));
        expectSameMesh(back, mesh);
    }
    const std::string text = testsupport::readTextFile(dir + "/m.obj");
    EXPECT_EQ(text.find("f 1/"), text.find("\nf ") + 1); // textured faces are "f v/vt ..."
    ASSERT_TRUE(meshgen::writeOBJ(untextured, dir + "/u.obj"));
    EXPECT_EQ(testsupport::readTextFile(dir + "/u.obj").find('/'), std::string::npos);
    EXPECT_FALSE(meshgen::writeOBJ(untextured, "/nonexistent-dir/u.obj"));
}

TEST(Examples, LoadAsValidInputMatchingTheirCommands)
{
    using meshgen::Outline;
    struct Example {
        const char* file;
        std::function<MeshData()> generate; // the command in examples/README.md
        bool overlapping;
    };
    const std::vector<Example> examples = {
        {"cylinder.obj", [] { return meshgen::openCylinder(48, 16); }, false},
        {"cube_net.obj", [] { return meshgen::cubeNet(12); }, false},
        {"cube_net_colors.obj", [] { return withColors(meshgen::cubeNet(10)); }, false},
        {"grid_holes.obj", [] { return meshgen::flatGrid(30, 30, Outline::WithHoles); }, false},
        {"grid_lshape.obj", [] { return meshgen::flatGrid(24, 24, Outline::LShape); }, false},
        {"cap_untextured.obj", [] { return meshgen::sphericalCap(20, 1.2); }, false},
        {"saddle_untextured.obj", [] { return meshgen::saddle(16); }, false},
        {"folded_strip.obj", [] { return meshgen::foldedStrip(240, 3); }, true},
    };
    for (const Example& example : examples) {
        SCOPED_TRACE(example.file);
        MeshData mesh;
        ASSERT_TRUE(readBack(testsupport::exampleFile(example.file), mesh));
        EXPECT_LE(mesh.numTriangles(), 3000u);
        EXPECT_EQ(inputProblems(mesh, example.overlapping), "");
        expectSameMesh(mesh, example.generate());
    }
}
