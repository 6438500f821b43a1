// Every triangle of every stage's layout knows the input triangle it lies in.
// The oracle is the generated mesh itself: after a full batch run each
// triangle's 3D centroid lies in its source triangle, and the pieces of every
// input triangle together have exactly its 3D area (nothing lost, nothing
// counted twice).
#include "app/pipeline.h"
#include "meshgen/meshgen.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using Vec3 = std::array<double, 3>;

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double area(const Vec3& a, const Vec3& b, const Vec3& c)
{
    const Vec3 n = cross(sub(b, a), sub(c, a));
    return 0.5 * std::sqrt(dot(n, n));
}

Vec3 point(const std::vector<double>& positions, uint32_t v)
{
    return {positions[3 * size_t(v)], positions[3 * size_t(v) + 1], positions[3 * size_t(v) + 2]};
}

// Distance of p from the plane of abc, and its smallest barycentric weight.
void placeInTriangle(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c, double& planeDistance,
                     double& minWeight)
{
    const Vec3 n = cross(sub(b, a), sub(c, a));
    const double nn = dot(n, n);
    planeDistance = std::fabs(dot(sub(p, a), n)) / std::sqrt(nn);
    const double wa = dot(cross(sub(b, p), sub(c, p)), n) / nn;
    const double wb = dot(cross(sub(c, p), sub(a, p)), n) / nn;
    minWeight = std::min({wa, wb, 1.0 - wa - wb});
}

// A flat grid whose right half is folded over its left half in UV: flipped
// and overlapping triangles for flip repair and segmentation.
meshgen::MeshData foldedGrid()
{
    meshgen::MeshData mesh = meshgen::flatGrid(8, 6, meshgen::Outline::Rectangle);
    for (size_t k = 0; k < mesh.numUVVertices(); ++k) {
        double& u = mesh.uvs[2 * k];
        if (u > 0.5)
            u = 0.5 - 0.8 * (u - 0.5);
    }
    return mesh;
}

struct ProvenanceCase {
    const char* name;
    std::function<meshgen::MeshData()> make;
};

class ProvenanceTest : public ::testing::TestWithParam<ProvenanceCase> {};

TEST_P(ProvenanceTest, EveryTriangleLiesInItsSourceAfterTheBatchRun)
{
    const meshgen::MeshData mesh = GetParam().make();
    testsupport::TempDir dir("tarnwick_provenance");
    ASSERT_TRUE(meshgen::writeOBJ(mesh, dir.file("model.obj")));
    Pipeline pipeline;
    pipeline.setBatchMode(true);
    int status = -1;
    testsupport::inDirectory(dir.path(), [&] {
        testing::internal::CaptureStdout();
        pipeline.loadModelFromFile("model.obj");
        status = runBatchPipeline(pipeline);
        testing::internal::GetCapturedStdout();
    });
    ASSERT_EQ(status, 0);

    const Model& model = pipeline.model();
    const size_t numInput = mesh.numTriangles();
    std::vector<double> pieceArea(numInput, 0.0);
    size_t checked = 0;
    for (size_t c = 0; c < model.charts.size(); ++c) {
        const Chart& chart = model.charts[c];
        ASSERT_EQ(chart.sourceTriangle.size(), chart.numTriangles()) << "chart " << c;
        for (size_t t = 0; t < chart.numTriangles(); ++t) {
            const uint32_t s = chart.sourceTriangle[t];
            ASSERT_LT(s, numInput) << "chart " << c << " triangle " << t;
            const Vec3 a = point(model.sharedPositions, chart.triIndicesPos[3 * t]);
            const Vec3 b = point(model.sharedPositions, chart.triIndicesPos[3 * t + 1]);
            const Vec3 d = point(model.sharedPositions, chart.triIndicesPos[3 * t + 2]);
            const Vec3 centroid = {(a[0] + b[0] + d[0]) / 3, (a[1] + b[1] + d[1]) / 3, (a[2] + b[2] + d[2]) / 3};
            const Vec3 sa = point(mesh.positions, mesh.posIndices[3 * size_t(s)]);
            const Vec3 sb = point(mesh.positions, mesh.posIndices[3 * size_t(s) + 1]);
            const Vec3 sc = point(mesh.positions, mesh.posIndices[3 * size_t(s) + 2]);
            double planeDistance = 0.0, minWeight = 0.0;
            placeInTriangle(centroid, sa, sb, sc, planeDistance, minWeight);
            EXPECT_LT(planeDistance, 1e-9) << "chart " << c << " triangle " << t << " source " << s;
            EXPECT_GT(minWeight, -1e-9) << "chart " << c << " triangle " << t << " source " << s;
            pieceArea[s] += area(a, b, d);
            ++checked;
        }
    }
    EXPECT_GE(checked, numInput);
    for (size_t s = 0; s < numInput; ++s) {
        const double expected = area(point(mesh.positions, mesh.posIndices[3 * s]),
                                     point(mesh.positions, mesh.posIndices[3 * s + 1]),
                                     point(mesh.positions, mesh.posIndices[3 * s + 2]));
        EXPECT_NEAR(pieceArea[s], expected, 1e-9 * expected + 1e-15) << "input triangle " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(
    GeneratedModels, ProvenanceTest,
    ::testing::Values(ProvenanceCase{"cube_with_cones", [] { return meshgen::cubeNet(2); }},
                      ProvenanceCase{"folded_strip", [] { return meshgen::foldedStrip(24, 2); }},
                      ProvenanceCase{"folded_grid_with_flips", foldedGrid},
                      ProvenanceCase{"flattened_saddle", [] { return meshgen::saddle(4); }}),
    [](const ::testing::TestParamInfo<ProvenanceCase>& info) { return std::string(info.param.name); });

} // namespace
