// Pixel tests on frames rendered by the 3D view. They need an OpenGL context
// (under Xvfb with Mesa's software renderer in the test run) and are skipped
// where none can be created.
#include "view_test_support.h"

#include "io/palette.h"
#include "meshgen/meshgen.h"
#include "render/BatchSnapshots.h"
#include "render/OffscreenRenderer.h"
#include "render/PngFile.h"
#include "support/png_image.h"
#include "support/test_support.h"

#include <QFile>
#include <QImage>
#include <QVector4D>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#define SKIP_WITHOUT_OPENGL()                                                                                         \
    if (!GLViewer3DModel::openGLAvailable())                                                                          \
    GTEST_SKIP() << "no OpenGL context can be created here"

namespace {

// Expected 8-bit channel of a fragment facing the eye: only the light along z
// reaches it (0.8 * 0.9 of the base colour), then gamma; unlit (light 1) it
// is the base colour of the checker field itself.
int litChannel(int component, double checker, double light)
{
    const double c = component / 255.0;
    return static_cast<int>(std::lround(255.0 * std::pow(light * (0.7 * c * checker + 0.3 * c), 1.0 / 2.2)));
}

int countPixels(const QImage& image, bool (*match)(QRgb))
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}

bool isMarkerRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 40 && qBlue(p) < 40; }
bool isTubeGrey(QRgb p) { return std::abs(qRed(p) - 60) <= 2 && std::abs(qGreen(p) - 60) <= 2 && std::abs(qBlue(p) - 60) <= 2; }

} // namespace

TEST(Rendering, EveryDisplayOptionShowsInTheFrameAndInItsSnapshot)
{
    SKIP_WITHOUT_OPENGL();
    TestView view;
    ASSERT_TRUE(view.showInitialised(200, 200));
    FlatTestModel(0.1).loadInto(view); // ten checker fields across the square: 20 pixels each
    QImage texture(8, 8, QImage::Format_RGB32); // upper half yellow, lower half blue (rows run down, v up)
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            texture.setPixel(x, y, y < 4 ? qRgb(255, 255, 0) : qRgb(0, 0, 255));
    const int lit = litChannel(255, 1.0, 0.72);
    const struct {
        const char* name;
        int shading;
        bool cones, edges, texture;
        QVector4D uvTransform;
        QRgb top, bottom; // with the texture, at (100, 50) and (100, 150)
    } rows[] = {
        {"flat", GLViewer3DModel::FlatShading, false, false, false, {}, 0, 0},
        {"smooth", GLViewer3DModel::SmoothShading, false, false, false, {}, 0, 0},
        {"cones", GLViewer3DModel::FlatShading, true, false, false, {}, 0, 0},
        {"cones and edges", GLViewer3DModel::SmoothShading, true, true, false, {}, 0, 0},
        {"edges", GLViewer3DModel::FlatShading, false, true, false, {}, 0, 0},
        {"texture", GLViewer3DModel::FlatShading, false, false, true, {10, 10, 0, 0}, qRgb(lit, lit, 0), qRgb(0, 0, lit)},
        {"texture, v into [0.5, 1]", GLViewer3DModel::FlatShading, false, false, true, {10, 5, 0, 0.5f},
         qRgb(lit, lit, 0), qRgb(lit, lit, 0)},
        {"unlit", GLViewer3DModel::NoShading, false, false, false, {}, 0, 0},
    };
    const Rgb8 chart = chartColor(0);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        view.setShadingMode(r.shading);
        view.setShowConeSingularities(r.cones);
        view.setShowCutEdges(r.edges);
        view.setSurfaceTexture(texture, r.uvTransform);
        view.setShowSurfaceTexture(r.texture);
        const QImage image = view.snapshotImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(200, 200));
        EXPECT_EQ(countPixels(image, isMarkerRed) > 100, r.cones); // a disc of about 10 pixels radius
        EXPECT_EQ(countPixels(image, isTubeGrey) > 4 * 150, r.edges); // along all four sides
        if (r.cones) {
            EXPECT_NEAR(qRed(image.pixel(100, 100)), std::lround(255.0 * std::pow(0.8, 1.0 / 2.2)), 2);
        }
        for (const auto& [y, expected] : {std::make_pair(50, r.top), std::make_pair(150, r.bottom)}) {
            if (!r.texture)
                break;
            const QRgb p = image.pixel(100, y);
            for (int shift : {0, 8, 16})
                EXPECT_NEAR(int(p >> shift & 255), int(expected >> shift & 255), 2) << y << ", bit " << shift;
        }
        if (r.cones || r.edges || r.texture)
            continue;
        const double light = r.shading == GLViewer3DModel::NoShading ? 1.0 : 0.72;
        for (int j = 0; j < 10; ++j)
            for (int i = 0; i < 10; ++i) {
                // v grows upwards: the top-left field (u field 0, v field 9) is dark.
                const double checker = (i + 9 - j) % 2 == 0 ? 0.8 : 0.2;
                const QRgb p = image.pixel(10 + 20 * i, 10 + 20 * j);
                EXPECT_NEAR(qGreen(p), litChannel(chart.g, checker, light), 2) << i << "," << j;
                EXPECT_NEAR(qRed(p), litChannel(chart.r, checker, light), 2) << i << "," << j;
            }
    }
    // The snapshot file holds the unlit frame, and a minimised window still renders it.
    testsupport::TempDir dir("ui3d_render");
    const QString file = QString::fromStdString(dir.file("input3D.png"));
    const QImage frame = view.snapshotImage().convertToFormat(QImage::Format_RGB32);
    QString why;
    ASSERT_TRUE(view.saveSnapshot(file, &why)) << why.toStdString();
    QImage saved;
    ASSERT_TRUE(saved.load(file, "PNG"));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), frame);
    EXPECT_FALSE(view.saveSnapshot(QString::fromStdString(dir.file("missing/x.png")), &why));
    EXPECT_FALSE(why.isEmpty());
    view.showMinimized();
    QApplication::processEvents();
    EXPECT_EQ(view.snapshotImage().convertToFormat(QImage::Format_RGB32), frame);

    // Data that arrive while a view is hidden are drawn once it is shown; it is initialised once.
    TestView late;
    int initialised = 0, failures = 0;
    QObject::connect(&late, &GLViewer3DModel::glViewer3DInitialized, [&] { ++initialised; });
    late.setOpenGLFailureHandler([&] { ++failures; });
    late.resize(200, 200);
    FlatTestModel(0.1).loadInto(late);
    late.setShadingMode(GLViewer3DModel::NoShading);
    late.setShowCutEdges(false);
    EXPECT_FALSE(late.saveSnapshot(QString::fromStdString(dir.file("early.png")), &why));
    EXPECT_FALSE(why.isEmpty() || QFile::exists(QString::fromStdString(dir.file("early.png"))));
    ASSERT_TRUE(late.showInitialised(200, 200));
    EXPECT_EQ(late.snapshotImage().convertToFormat(QImage::Format_RGB32), frame);
    EXPECT_EQ(std::make_pair(initialised, failures), std::make_pair(1, 0));
}

// The batch program's offscreen snapshot against the window's frame of the
// same mesh and camera: same size, pixels alike up to rasterisation.
TEST(Rendering, OffscreenSnapshotMatchesTheWindowFrame)
{
    SKIP_WITHOUT_OPENGL();
    OffscreenRenderer renderer;
    std::string why;
    ASSERT_TRUE(renderer.ready(why)) << why;
    // A curved, open mesh lit from several sides, with a few boundary tubes.
    const meshgen::MeshData mesh = meshgen::openCylinder(24, 8);
    const iuv::DoubleVector positions(mesh.positions.begin(), mesh.positions.end());
    const iuv::UIntVector triangles(mesh.posIndices.begin(), mesh.posIndices.end());
    const iuv::UIntVector uvTriangles(mesh.uvIndices.begin(), mesh.uvIndices.end());
    iuv::DoubleVector uvs(mesh.uvs.begin(), mesh.uvs.end());
    for (double& t : uvs)
        t *= 0.37; // a checker that does not line up with the mesh edges
    const iuv::UIntVector edges(triangles.begin(), triangles.begin() + 12);
    const std::vector<size_t> perChart{mesh.numTriangles() / 2, mesh.numTriangles() - mesh.numTriangles() / 2};

    TestView view;
    ASSERT_TRUE(view.showInitialised(kSnapshotWidth, kSnapshotHeight));
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
    ASSERT_EQ(window.size(), QSize(kSnapshotWidth, kSnapshotHeight));
    size_t differing = 0, covered = 0;
    for (int y = 0; y < kSnapshotHeight; ++y)
        for (int x = 0; x < kSnapshotWidth; ++x) {
            const uint8_t *p = offscreen.data() + (size_t(y) * kSnapshotWidth + x) * 3, *q = window.constScanLine(y) + 3 * x;
            differing += std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])}) > 8 ? 1 : 0;
            covered += (p[0] != 238 || p[1] != 238 || p[2] != 238) ? 1 : 0;
        }
    const size_t pixels = size_t(kSnapshotWidth) * kSnapshotHeight;
    EXPECT_GT(covered, pixels / 10) << "the offscreen frame shows almost nothing";
    EXPECT_LT(differing, pixels / 200) << differing << " of " << pixels << " pixels differ";
}

// The batch snapshots take the stored camera when it is whole and write
// PNG files that a decoder reads back; unwritable targets and sizes out of
// range are refused with the reason.
TEST(Rendering, BatchSnapshotsTakeTheStoredViewAndRefuseWhatTheyCannotWrite)
{
    SKIP_WITHOUT_OPENGL();
    testsupport::TempDir dir("ui3d_batch");
    Pipeline pipeline;
    pipeline.setOutputDirectory(dir.path());
    BatchSnapshots snapshots(pipeline, 64, 48);
    const FlatTestModel square;
    // The view translates by (2, -3); the rotation is the identity.
    const std::string stored = "1 0 0 2 0 1 0 -3 0 0 1 0 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
    for (const std::string& file : {stored, stored.substr(0, 40) + "nan 0 0 0", std::string("1 2 3")}) {
        testsupport::writeTextFile(dir.file("navigation.mtx"), file);
        snapshots.positionsChanged(square.positions);
        const bool whole = file == stored;
        EXPECT_EQ(snapshots.scene().camera.view.at(0, 3), whole ? 2.0f : -0.5f) << file;
        EXPECT_EQ(snapshots.scene().camera.view.at(1, 3), whole ? -3.0f : -0.5f) << file;
    }
    snapshots.displayUpdated(false, {}); // no new layout: the empty scene stays
    EXPECT_FALSE(snapshots.scene().hasMesh);
    std::string why;
    ASSERT_TRUE(snapshots.saveSnapshot(dir.file("empty.png"), why)) << why;
    testsupport::RgbImage image;
    ASSERT_TRUE(testsupport::readPng(dir.file("empty.png"), image, why)) << why;
    EXPECT_EQ(std::make_tuple(image.width, image.height, image.pixelsOtherThan(238, 238, 238)), std::make_tuple(64, 48, size_t(0)));
    for (const std::string& path : {dir.file("missing/x.png"), dir.path(), std::string("/dev/full")}) {
        EXPECT_FALSE(snapshots.saveSnapshot(path, why)) << path;
        EXPECT_EQ(why, "the image could not be written") << path;
    }
    // PNG writing itself: noise that fills more than one output buffer, and sizes that do not fit the pixels.
    std::vector<uint8_t> noise(3 * 96 * 96);
    std::mt19937 random(7);
    for (uint8_t& byte : noise)
        byte = uint8_t(random());
    const struct {
        int width, height;
        const char* path;
        const char* reason;
    } rows[] = {{96, 96, "/dev/full", "the image could not be written"}, {0, 96, "x.png", "the image has no pixels"},
                {96, 95, "x.png", "the image has no pixels"}};
    for (const auto& r : rows) {
        EXPECT_FALSE(writePngRGB(r.path, r.width, r.height, noise, why)) << r.width << " " << r.path;
        EXPECT_EQ(why, r.reason);
    }
    OffscreenRenderer renderer;
    std::vector<uint8_t> rgba;
    for (const auto& [width, height] : {std::make_pair(0, 8), std::make_pair(8, -1), std::make_pair(16385, 1)}) {
        EXPECT_FALSE(renderer.render(SnapshotScene(), width, height, rgba, why)) << width << " x " << height;
        EXPECT_EQ(why, "the 3D view has no usable size");
    }
}

// The camera rule on degenerate input: nothing to fit, a single point, no depth range, a singular view.
TEST(Rendering, TheSnapshotCameraStaysUsableOnDegenerateInput)
{
    SnapshotCamera camera;
    camera.fit({}, 10, 10);
    camera.fit({std::nan(""), 0, 0}, 10, 10);
    EXPECT_EQ(camera.view.m, Mat4::identity().m);
    camera.fit({3, 3, 3}, 0, 0);
    EXPECT_EQ(camera.navigationUnit, 1.0f);
    camera.navigationUnit = 0.0f;
    camera.setProjection(10, 10);
    EXPECT_EQ(camera.projection.m, Mat4::identity().m);
    EXPECT_EQ(Mat4().normalMatrix(), (std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
}
