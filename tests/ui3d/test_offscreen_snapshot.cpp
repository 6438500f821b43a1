// The batch program's offscreen snapshot against the window's own frame of
// the same mesh and camera: same size, pixels alike up to rasterisation.
#include "view_test_support.h"

#include "meshgen/meshgen.h"
#include "render/BatchSnapshots.h"
#include "render/OffscreenRenderer.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

TEST(OffscreenSnapshot, MatchesTheWindowFrameOfTheSameMesh)
{
    if (!GLViewer3DModel::openGLAvailable())
        GTEST_SKIP() << "no window OpenGL context can be created here";
    OffscreenRenderer renderer;
    std::string why;
    ASSERT_TRUE(renderer.ready(why)) << why;

    // A curved, open mesh: lit from several sides, with boundary tubes.
    const meshgen::MeshData mesh = meshgen::openCylinder(24, 8);
    const iuv::DoubleVector positions(mesh.positions.begin(), mesh.positions.end());
    const iuv::UIntVector triangles(mesh.posIndices.begin(), mesh.posIndices.end());
    const iuv::UIntVector uvTriangles(mesh.uvIndices.begin(), mesh.uvIndices.end());
    iuv::DoubleVector uvs(mesh.uvs.begin(), mesh.uvs.end());
    for (double& t : uvs)
        t *= 0.37; // a checker that does not line up with the mesh edges
    iuv::UIntVector edges;
    for (size_t t = 0; t < 4; ++t) // a few edges are enough to draw tubes
        for (int k = 0; k < 2; ++k)
            edges.push_back(triangles[3 * t + k]), edges.push_back(triangles[3 * t + k + 1]);
    const std::vector<size_t> perChart{mesh.numTriangles() / 2, mesh.numTriangles() - mesh.numTriangles() / 2};

    TestView view;
    view.setNavigationFile(QStringLiteral("/nonexistent/navigation.mtx"));
    view.resize(kSnapshotWidth, kSnapshotHeight);
    view.show();
    for (int i = 0; i < 20 && !view.isGLInitialized(); ++i)
        QApplication::processEvents();
    ASSERT_TRUE(view.isGLInitialized());
    ASSERT_EQ(view.size(), QSize(kSnapshotWidth, kSnapshotHeight));
    view.updateCamera(positions);
    view.updateMeshData(triangles, positions, uvTriangles, uvs, edges, 0, {}, perChart);
    const QImage window = view.snapshotImage().convertToFormat(QImage::Format_RGB888);
    view.doneCurrent();

    SnapshotScene scene;
    scene.camera.fit(positions, kSnapshotWidth, kSnapshotHeight);
    scene.mesh = buildCornerBuffers(triangles, positions, uvTriangles, uvs, perChart);
    scene.hasMesh = true;
    scene.tubes = buildEdgeTubes(edges, positions, edgeTubeRadius(positions));
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(renderer.render(scene, kSnapshotWidth, kSnapshotHeight, rgba, why)) << why;
    const std::vector<uint8_t> offscreen = overWindowBackground(rgba);

    ASSERT_EQ(window.width(), kSnapshotWidth);
    ASSERT_EQ(window.height(), kSnapshotHeight);
    size_t differing = 0, covered = 0;
    for (int y = 0; y < kSnapshotHeight; ++y) {
        const uchar* row = window.constScanLine(y);
        for (int x = 0; x < kSnapshotWidth; ++x) {
            const uint8_t* p = offscreen.data() + (size_t(y) * kSnapshotWidth + x) * 3;
            int worst = 0;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(p[c]) - int(row[3 * x + c])));
            differing += worst > 8 ? 1 : 0;
            covered += (p[0] != 238 || p[1] != 238 || p[2] != 238) ? 1 : 0;
        }
    }
    const size_t pixels = size_t(kSnapshotWidth) * kSnapshotHeight;
    EXPECT_GT(covered, pixels / 10) << "the offscreen frame shows almost nothing";
    EXPECT_LT(differing, pixels / 200) << differing << " of " << pixels << " pixels differ";
}
