// Pixel tests on frames rendered by the 3D view. They need an OpenGL
// context (under Xvfb with Mesa's software renderer in the test run) and
// are skipped where none can be created.
#include "view_test_support.h"

#include "io/palette.h"
#include "support/test_support.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QVector4D>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A shown 200 x 200 view with the flat test model, in a directory without
// "navigation.mtx".
class RenderedView : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!GLViewer3DModel::openGLAvailable())
            GTEST_SKIP() << "no OpenGL context can be created here";
        dir_ = std::make_unique<testsupport::TempDir>("ui3d_render");
        view_ = std::make_unique<TestView>();
        view_->resize(200, 200);
        view_->show();
        for (int i = 0; i < 20 && !view_->isGLInitialized(); ++i)
            QApplication::processEvents();
        ASSERT_TRUE(view_->isGLInitialized());
        ASSERT_EQ(view_->size(), QSize(200, 200));
    }

    void load(double uvScale)
    {
        testsupport::inDirectory(dir_->path(), [&] { FlatTestModel(uvScale).loadInto(*view_); });
    }

    QImage frame()
    {
        QImage image = view_->snapshotImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(image.size(), QSize(200, 200));
        return image;
    }

    std::unique_ptr<testsupport::TempDir> dir_;
    std::unique_ptr<TestView> view_;
};

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

// Expected 8-bit channel of a front-lit fragment (normal towards the eye):
// only the light along z contributes, 0.8 * 0.9 * base, then gamma. Unlit,
// the base colour itself is shown.
int litChannel(int component, double checker, double light = 0.72)
{
    const double c = component / 255.0;
    const double base = 0.7 * c * checker + 0.3 * c;
    return static_cast<int>(std::lround(255.0 * std::pow(light * base, 1.0 / 2.2)));
}

} // namespace

TEST_F(RenderedView, CheckerboardHasOneHundredFieldsPerUVUnit)
{
    load(0.1);  // ten fields across the square: 20 pixels each
    view_->setShowCutEdges(false);
    for (int mode : {GLViewer3DModel::FlatShading, GLViewer3DModel::SmoothShading, GLViewer3DModel::NoShading}) {
        view_->setShadingMode(mode);
        const QImage image = frame();
        const Rgb8 chart = chartColor(0);
        const double f = mode == GLViewer3DModel::NoShading ? 1.0 : 0.72;
        const int light = litChannel(chart.g, 0.8, f), dark = litChannel(chart.g, 0.2, f);
        for (int j = 0; j < 10; ++j)
            for (int i = 0; i < 10; ++i) {
                const QRgb p = image.pixel(10 + 20 * i, 10 + 20 * j);
                // v grows upwards and the square has an even number of fields,
                // so the top-left field (u and v fields 0 and 9) is dark.
                const bool lightField = (i + (9 - j)) % 2 == 0;
                EXPECT_NEAR(qGreen(p), lightField ? light : dark, 2) << mode << ": " << i << "," << j;
                EXPECT_NEAR(qRed(p), litChannel(chart.r, lightField ? 0.8 : 0.2, f), 2) << i << "," << j;
            }
    }
}

TEST_F(RenderedView, ConeMarkersAndCutEdgesOnlyWhenTheirFlagsAreSet)
{
    load(1.0);
    view_->setShowConeSingularities(false);
    view_->setShowCutEdges(false);
    const QImage plain = frame();
    EXPECT_EQ(countPixels(plain, isMarkerRed), 0);
    EXPECT_EQ(countPixels(plain, isTubeGrey), 0);

    view_->setShowConeSingularities(true);
    const QImage cones = frame();
    EXPECT_GT(countPixels(cones, isMarkerRed), 100);  // a disc of about 10 pixels radius
    EXPECT_EQ(countPixels(cones, isTubeGrey), 0);
    const QRgb centre = cones.pixel(100, 100);
    EXPECT_NEAR(qRed(centre), std::lround(255.0 * std::pow(0.8, 1.0 / 2.2)), 2);

    view_->setShowCutEdges(true);
    const QImage both = frame();
    EXPECT_GT(countPixels(both, isTubeGrey), 4 * 150);  // along all four sides
    EXPECT_GT(countPixels(both, isMarkerRed), 100);

    view_->setShowConeSingularities(false);
    const QImage edges = frame();
    EXPECT_EQ(countPixels(edges, isMarkerRed), 0);
    EXPECT_GT(countPixels(edges, isTubeGrey), 4 * 150);
}

TEST_F(RenderedView, SnapshotIsWrittenAsANonBlankPng)
{
    load(1.0);
    const std::string path = dir_->path() + "/input3D.png";
    QString why;
    ASSERT_TRUE(view_->saveSnapshot(QString::fromStdString(path), &why)) << why.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "PNG"));
    EXPECT_EQ(image.size(), QSize(200, 200));
    QColor first = image.pixelColor(0, 0);
    int differing = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            differing += image.pixelColor(x, y) != first ? 1 : 0;
    EXPECT_GT(differing, 100);

    // An unwritable name is reported, not ignored.
    EXPECT_FALSE(view_->saveSnapshot(QString::fromStdString(dir_->path() + "/missing/dir/x.png"), &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(RenderedView, FramesForMinimisedAndLateViewsAndOneInitialisation)
{
    load(1.0);
    view_->setShadingMode(GLViewer3DModel::NoShading);
    view_->setShowCutEdges(false);
    view_->showMinimized();
    QApplication::processEvents();
    // The unlit checker shows one of its two colours wherever the mesh is drawn.
    const auto unlitChecker = [](QRgb p) {
        const int g = chartColor(0).g;
        return std::abs(qGreen(p) - litChannel(g, 0.8, 1.0)) <= 2 || std::abs(qGreen(p) - litChannel(g, 0.2, 1.0)) <= 2;
    };
    EXPECT_TRUE(unlitChecker(frame().pixel(100, 100))); // a minimised window still renders

    // A view that receives its data while hidden draws it once shown, and is
    // initialised exactly once.
    auto late = std::make_unique<TestView>();
    int initialised = 0, failures = 0;
    QObject::connect(late.get(), &GLViewer3DModel::glViewer3DInitialized, [&] { ++initialised; });
    late->setOpenGLFailureHandler([&] { ++failures; });
    late->resize(200, 200);
    testsupport::inDirectory(dir_->path(), [&] { FlatTestModel(1.0).loadInto(*late); });
    late->setShadingMode(GLViewer3DModel::NoShading);
    late->setShowCutEdges(false);
    QString why;
    EXPECT_FALSE(late->saveSnapshot(QString::fromStdString(dir_->path() + "/early.png"), &why));
    EXPECT_FALSE(why.isEmpty());
    late->show();
    for (int i = 0; i < 20 && !late->isGLInitialized(); ++i)
        QApplication::processEvents();
    ASSERT_TRUE(late->isGLInitialized());
    EXPECT_TRUE(unlitChecker(late->snapshotImage().pixel(100, 100)));
    EXPECT_EQ(std::make_pair(initialised, failures), std::make_pair(1, 0));
}

TEST_F(RenderedView, SurfaceTextureReplacesTheCheckerboardWhileShown)
{
    load(1.0);
    view_->setShowCutEdges(false);
    view_->setShadingMode(GLViewer3DModel::FlatShading);
    // Upper half red, lower half blue (image rows run downwards, v upwards).
    QImage texture(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            texture.setPixel(x, y, y < 4 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    const int lit = static_cast<int>(std::lround(255.0 * std::pow(0.72, 1.0 / 2.2)));
    const struct {
        QVector4D uvTransform;
        bool shown;
        QRgb top, bottom;  // expected at (100, 50) and (100, 150); 0 = the checkerboard
    } cases[] = {
        {QVector4D(1, 1, 0, 0), true, qRgb(lit, 0, 0), qRgb(0, 0, lit)},
        {QVector4D(1, 0.5f, 0, 0.5f), true, qRgb(lit, 0, 0), qRgb(lit, 0, 0)},  // v into [0.5, 1]
        {QVector4D(1, 1, 0, 0), false, 0, 0},
    };
    const Rgb8 chart = chartColor(0);
    for (const auto& c : cases) {
        view_->setSurfaceTexture(texture, c.uvTransform);
        view_->setShowSurfaceTexture(c.shown);
        const QImage image = frame();
        for (const auto& probe : {std::make_pair(50, c.top), std::make_pair(150, c.bottom)}) {
            const QRgb p = image.pixel(100, probe.first);
            if (probe.second == 0) {
                EXPECT_GT(qGreen(p), qRed(p));  // chart colour, green-dominated
                EXPECT_NEAR(qGreen(p), litChannel(chart.g, 0.8), 40);
                continue;
            }
            EXPECT_NEAR(qRed(p), qRed(probe.second), 2) << probe.first;
            EXPECT_NEAR(qGreen(p), qGreen(probe.second), 2) << probe.first;
            EXPECT_NEAR(qBlue(p), qBlue(probe.second), 2) << probe.first;
        }
    }
}
