// The bundled example models: each must load, be valid input of its kind and
// match the generator call that examples/README.md gives for it.
#include "mesh_checks.h"
#include "model/obj_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using meshgen::MeshData;

namespace {

std::string examplesDir()
{
    std::string path = __FILE__; // .../tests/tools/test_examples.cpp
    for (int i = 0; i < 3; ++i)
        path = path.substr(0, path.find_last_of('/'));
    return path + "/examples/";
}

struct Example {
    const char* file;
    std::function<MeshData()> generate; // the README command
    bool overlapping;
};

MeshData withColors(MeshData mesh)
{
    meshgen::addColors(mesh);
    return mesh;
}

const std::vector<Example>& examples()
{
    using meshgen::Outline;
    static const std::vector<Example> list = {
        {"cylinder.obj", [] { return meshgen::openCylinder(48, 16); }, false},
        {"cube_net.obj", [] { return meshgen::cubeNet(12); }, false},
        {"cube_net_colors.obj", [] { return withColors(meshgen::cubeNet(10)); }, false},
        {"grid_holes.obj", [] { return meshgen::flatGrid(30, 30, Outline::WithHoles); }, false},
        {"grid_lshape.obj", [] { return meshgen::flatGrid(24, 24, Outline::LShape); }, false},
        {"cap_untextured.obj", [] { return meshgen::sphericalCap(20, 1.2); }, false},
        {"saddle_untextured.obj", [] { return meshgen::saddle(16); }, false},
        {"folded_strip.obj", [] { return meshgen::foldedStrip(240, 3); }, true},
    };
    return list;
}

// The file as a mesh, read by the program's own parser.
bool loadExample(const std::string& path, MeshData& mesh)
{
    ChartList charts;
    iuv::DoubleVector positions, colors;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = loadOBJ(path, charts, positions, colors);
    const iuv::UIntVector cones = loaded ? readConeSingularities(path, positions.size() / 3) : iuv::UIntVector();
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

void expectNear(const std::vector<double>& a, const std::vector<double>& b, const char* what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_NEAR(a[i], b[i], 1e-6) << what << " " << i;
}

} // namespace

TEST(Examples, LoadAsValidInputMatchingTheirCommands)
{
    for (const Example& example : examples()) {
        SCOPED_TRACE(example.file);
        MeshData mesh;
        ASSERT_TRUE(loadExample(examplesDir() + example.file, mesh));
        EXPECT_LE(mesh.numTriangles(), 3000u);
        EXPECT_EQ(meshchecks::describe(meshchecks::basicProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::manifoldProblems(mesh)), "");
        EXPECT_EQ(meshchecks::describe(meshchecks::orientationProblems(mesh)), "");
        if (mesh.isTextured()) {
            EXPECT_EQ(meshchecks::topology(mesh).uvComponents, 1u);
            EXPECT_EQ(meshchecks::uvBoundaryCrossesItself(mesh), example.overlapping);
        }

        const MeshData expected = example.generate();
        EXPECT_EQ(mesh.posIndices, expected.posIndices);
        EXPECT_EQ(mesh.uvIndices, expected.uvIndices);
        EXPECT_EQ(mesh.cones, expected.cones);
        expectNear(mesh.positions, expected.positions, "positions");
        expectNear(mesh.uvs, expected.uvs, "uvs");
        expectNear(mesh.colors, expected.colors, "colors");
    }
}
