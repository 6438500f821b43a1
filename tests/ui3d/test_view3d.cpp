// The 3D view and the batch snapshots: CPU geometry, navigation, pixels of
// rendered frames (skipped where no OpenGL context can be created), and the
// Headless tests, run in a process without a display.
#include "io/palette.h"
#include "meshgen/meshgen.h"
#include "render/BatchSnapshots.h"
#include "render/MarkerGeometry.h"
#include "render/MeshCornerBuffers.h"
#include "render/OffscreenRenderer.h"
#include "render/PngFile.h"
#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/ModelRenderer.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QVector4D>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <sstream>

#include <sys/stat.h>

#define SKIP_WITHOUT_OPENGL()                                                                                         \
    if (!GLViewer3DModel::openGLAvailable())                                                                          \
    GTEST_SKIP() << "no OpenGL context can be created here"

namespace {

// The view with its event handlers open to the tests; it reads no stored
// camera unless a test names a file.
class TestView : public GLViewer3DModel {
public:
    TestView() { setNavigationFile(QStringLiteral("/nonexistent/navigation.mtx")); }

    void press(int x, int y, Qt::MouseButton button)
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(x, y), button, button, Qt::NoModifier);
        mousePressEvent(&e);
    }
    void move(int x, int y, Qt::MouseButtons buttons)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), Qt::NoButton, buttons, Qt::NoModifier);
        mouseMoveEvent(&e);
    }
    void wheel(int delta)
    {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        wheelEvent(&e);
    }
    // Shows the view at the given size; true once OpenGL is initialised.
    bool showInitialised(int width, int height)
    {
        resize(width, height);
        show();
        for (int i = 0; i < 20 && !isGLInitialized(); ++i)
            QApplication::processEvents();
        return isGLInitialized() && size() == QSize(width, height);
    }
};

// The unit square in z = 0 as four triangles around its centre vertex 4 (a
// cone), UVs equal to the positions times uvScale, and a vertex 5 far behind
// that no triangle uses: it makes the markers large without changing the
// fitted view of the square, which fills a square viewport exactly.
struct FlatTestModel {
    iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 0, 0.5, 0.5, -10};
    iuv::UIntVector triangles{0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
    iuv::DoubleVector uvs;

    explicit FlatTestModel(double uvScale = 1.0)
    {
        for (size_t i = 0; i < 10; ++i)
            uvs.push_back(uvScale * positions[3 * (i / 2) + i % 2]);
    }
    // Sends the data the way a load does: camera, cone markers, mesh.
    void loadInto(GLViewer3DModel& view) const
    {
        view.updateCamera(positions);
        view.setConeSingularities({4}, positions);
        view.updateMeshData(triangles, positions, triangles, uvs, {0, 1, 1, 2, 2, 3, 3, 0}, 4, {}, {4});
    }
};

const iuv::DoubleVector kUnitSquare{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

void expectMatrixNear(const QMatrix4x4& a, const QMatrix4x4& b, double tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.constData()[i], b.constData()[i], tolerance) << i;
}

std::vector<float> fields(const std::vector<float>& buffer, size_t corner, size_t first, size_t count)
{
    return std::vector<float>(buffer.begin() + corner * kCornerFloats + first, buffer.begin() + corner * kCornerFloats + first + count);
}

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

TEST(CornerBuffers, AreaWeightedNormalsChartColoursAndBadTrianglesSkipped)
{
    // Two triangles on the edge (0,0,0)-(0,2,0): area 2 in z = 0, area 1 in x = 0.
    const iuv::DoubleVector positions{0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, -1, 0, 1, 0};
    const iuv::DoubleVector uvs{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    const CornerBuffers b = buildCornerBuffers({0, 1, 2, 0, 2, 3}, positions, {2, 0, 1, 3, 1, 4}, uvs, {1, 1});
    ASSERT_EQ(b.cornerCount(), 6u);
    EXPECT_EQ(fields(b.flat, 1, 0, 8), (std::vector<float>{2, 0, 0, 0, 0, 1, 0.1f, 0.2f})); // position, normal, uv
    // The shared vertex: the area-weighted (2 * (0,0,1) + 1 * (-1,0,0)) / 3, not renormalised.
    EXPECT_EQ(fields(b.smooth, 3, 3, 3), (std::vector<float>{-1.0f / 3, 0, 2.0f / 3}));
    const Rgb8 c = chartColor(1);
    EXPECT_EQ(fields(b.smooth, 5, 8, 4), (std::vector<float>{c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f}));
    // A zero-area triangle, one naming an absent vertex, one with a NaN corner; UVs and chart counts missing.
    const CornerBuffers bad = buildCornerBuffers({0, 1, 2, 0, 9, 1, 0, 1, 3}, {0, 0, 0, 1, 1, 1, 2, 2, 2, std::nan(""), 0, 0}, {0, 1}, {}, {});
    ASSERT_EQ(bad.cornerCount(), 6u);
    for (size_t corner = 0; corner < 6; ++corner)
        for (const auto* buffer : {&bad.flat, &bad.smooth})
            for (float f : fields(*buffer, corner, 3, kCornerFloats - 3))
                EXPECT_TRUE(std::isfinite(f)) << corner;
    EXPECT_EQ(buildCornerBuffers({0, 1, 2}, {}, {}, {}, {}).cornerCount(), 0u);
}

// A drag across the view turns half a turn: a quarter of it turns 45 degrees, also when the event loop
// was blocked for a minute before every frame (each step is capped, so the spin cannot grow).
TEST(ViewNavigation, ADragAcrossTheViewTurnsHalfATurnWhateverTheFrameRate)
{
    TestView view;
    EXPECT_FALSE(view.stepAnimation(1000)); // at rest
    view.press(0, 0, Qt::LeftButton);
    view.move(int(std::lround(0.25 * std::min(view.width(), view.height()))), 0, Qt::LeftButton);
    int steps = 0;
    while (view.stepAnimation(1000 + qint64(60000) * ++steps))
        ASSERT_LT(steps, 1000);
    QMatrix4x4 expected;
    expected.rotate(45, 0, 1, 0);
    expectMatrixNear(view.renderer().rotation, expected, 1e-3);
    EXPECT_FALSE(view.stepAnimation(0)); // a clock going back does no harm
}

TEST(ViewNavigation, DollyPanWheelAndTheFitOfOddPositions)
{
    TestView view;
    view.resize(200, 200);
    view.updateCamera(kUnitSquare);
    const QMatrix4x4 fitted = view.renderer().view;
    const float unit = view.navigationUnit();
    view.press(10, 10, Qt::RightButton);
    view.move(10, 20, Qt::RightButton); // dolly by 0.1 units per pixel
    view.press(0, 0, Qt::MiddleButton);
    view.move(3, 4, Qt::MiddleButton); // pan by 0.01 units per pixel, y up
    view.wheel(120);                   // 0.6 units per notch
    view.move(50, 50, Qt::LeftButton | Qt::RightButton); // the left button wins: no dolly
    QMatrix4x4 moved;
    moved.translate(0.03f * unit, -0.04f * unit, 1.6f * unit);
    expectMatrixNear(view.renderer().view, moved * fitted, 1e-5);
    TestView odd; // never shown: no viewport size at all
    odd.updateCamera(iuv::DoubleVector{});
    odd.updateCamera(iuv::DoubleVector{std::nan(""), 1, 2});
    expectMatrixNear(odd.renderer().view, QMatrix4x4(), 0.0);
    odd.updateCamera(iuv::DoubleVector{3, 3, 3, 3, 3, 3}); // a single point
    EXPECT_FLOAT_EQ(odd.navigationUnit(), 1.0f);
    for (const QMatrix4x4* m : {&odd.renderer().view, &odd.renderer().projection})
        for (int i = 0; i < 16; ++i)
            EXPECT_TRUE(std::isfinite(m->constData()[i]));
}

TEST(ViewNavigation, TheStoredViewIsReadBackAndBadFilesAreIgnored)
{
    testsupport::TempDir dir("ui3d_nav");
    const std::string file = dir.file("navigation.mtx");
    const auto fitted = [&](TestView& v) {
        v.setNavigationFile(QString::fromStdString(file));
        v.resize(300, 200);
        v.updateCamera(kUnitSquare);
    };
    TestView fresh, view, other;
    fitted(fresh);
    fitted(view);
    view.press(0, 0, Qt::MiddleButton);
    view.move(5, -3, Qt::MiddleButton);
    view.stepAnimation(0);
    view.press(0, 0, Qt::LeftButton);
    view.move(17, 11, Qt::LeftButton);
    view.stepAnimation(16);
    ASSERT_FALSE(view.renderer().rotation.isIdentity());
    view.storeView();
    // 32 numbers on one line: the view matrix, then the rotation, each in row order.
    std::istringstream in(testsupport::readTextFile(file));
    std::vector<float> numbers{std::istream_iterator<float>(in), std::istream_iterator<float>()};
    ASSERT_EQ(numbers.size(), 32u);
    EXPECT_EQ(testsupport::readTextFile(file).find('\n'), std::string::npos);
    expectMatrixNear(QMatrix4x4(numbers.data()), view.renderer().view, 1e-5);
    expectMatrixNear(QMatrix4x4(numbers.data() + 16), view.renderer().rotation, 1e-5);
    fitted(other);
    expectMatrixNear(other.renderer().view, view.renderer().view, 1e-4);
    expectMatrixNear(other.renderer().rotation, view.renderer().rotation, 1e-5);
    // Short, unreadable, non-finite or no file at all: the fitted camera stays.
    std::string ones;
    for (int i = 0; i < 20; ++i)
        ones += "1 ";
    for (const std::string& content : {std::string(), std::string("garbage"), ones, ones + ones.substr(0, 22) + "nan 1 1", std::string("dir")}) {
        std::remove(file.c_str());
        if (content == "dir")
            ASSERT_EQ(mkdir(file.c_str(), 0700), 0); // neither readable nor writable
        else
            testsupport::writeTextFile(file, content);
        TestView bad;
        fitted(bad);
        expectMatrixNear(bad.renderer().view, fresh.renderer().view, 0.0);
        expectMatrixNear(bad.renderer().rotation, QMatrix4x4(), 0.0);
        bad.storeView();
    }
}

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
    // A longer file in the way is cut to the image.
    testsupport::writeTextFile(dir.file("empty.png"), std::string(100000, 'x'));
    ASSERT_TRUE(snapshots.saveSnapshot(dir.file("empty.png"), why)) << why;
    // Targets that cannot be opened are refused at once, a full device once
    // its image is written.
    for (const std::string& path : {dir.file("missing/x.png"), dir.path()}) {
        EXPECT_FALSE(snapshots.saveSnapshot(path, why)) << path;
        EXPECT_EQ(why, "the image could not be written") << path;
    }
    EXPECT_TRUE(snapshots.saveSnapshot("/dev/full", why));
    testing::internal::CaptureStdout();
    snapshots.finishSnapshots();
    snapshots.finishSnapshots();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipping snapshot /dev/full: the image could not be written.\n");
    QImage grey(64, 48, QImage::Format_RGB32);
    grey.fill(qRgb(238, 238, 238));
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("empty.png"))).convertToFormat(QImage::Format_RGB32), grey);
    EXPECT_LT(QFileInfo(QString::fromStdString(dir.file("empty.png"))).size(), 1000);
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

TEST(Headless, ViewReportsOnceKeepsWorkingAndRefusesSnapshotsWithAReason)
{
    if (GLViewer3DModel::openGLAvailable())
        GTEST_SKIP() << "OpenGL is available here";
    testing::internal::CaptureStdout();
    TestView view, second;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out; // one line for the process
    EXPECT_NE(out.find("OpenGL is not available"), std::string::npos) << out;
    EXPECT_TRUE(view.openGLFailed());
    int handlerCalls = 0, initialised = 0;
    view.setOpenGLFailureHandler([&] { ++handlerCalls; });
    EXPECT_EQ(handlerCalls, 1); // already known: called at once
    QObject::connect(&view, &GLViewer3DModel::glViewer3DInitialized, [&] { ++initialised; });

    testsupport::TempDir dir("ui3d_headless");
    view.setNavigationFile(QString::fromStdString(dir.file("navigation.mtx")));
    EXPECT_FALSE(view.showInitialised(200, 200));
    FlatTestModel().loadInto(view);
    EXPECT_EQ(view.coneMarkerGeometry().vertexCount(), 12u);
    EXPECT_EQ(view.edgeTubeGeometry().vertexCount(), 4 * 32u);
    view.setShadingMode(GLViewer3DModel::FlatShading);
    view.setShowConeSingularities(true);
    view.update();
    QApplication::processEvents();
    view.storeView();
    view.loadView();
    QString why;
    EXPECT_FALSE(view.saveSnapshot(QString::fromStdString(dir.file("input3D.png")), &why));
    EXPECT_NE(why.indexOf("OpenGL"), -1) << why.toStdString();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("input3D.png"))));
    EXPECT_TRUE(view.snapshotImage().isNull());
    EXPECT_EQ(std::make_pair(handlerCalls, initialised), std::make_pair(1, 0));
}
