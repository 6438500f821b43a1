// The whole window after loading a model: a screenshot is kept as a test
// artefact ("ui_window_screenshot.png" in the test's working directory).
#include "ui_test_support.h"

#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/MainWindow.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

namespace {

int countNear(const QImage& image, const QColor& colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

} // namespace

TEST(WindowScreenshot, LoadedModelIsDrawnInChartColours)
{
    const std::string dir = testsupport::makeTempDir("ui-shot");
    const std::string obj = uitest::writeGridOBJ(dir + "/grid.obj", 8);

    MainWindow window;
    window.resize(1600, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    testing::internal::CaptureStdout();
    window.loadModelFromFile(obj.c_str(), true);
    // The load runs once the 3D view is ready (or at once without OpenGL).
    const bool loaded = uitest::waitUntil([&] { return !window.pipeline().model().charts.empty(); }, 15000);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded) << out;
    EXPECT_NE(out.find("Loading " + obj), std::string::npos);
    QTest::qWait(100);

    const QImage shot = window.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save("ui_window_screenshot.png"));

    // The 2D view shows the single chart in its gamma-corrected colour over a
    // good part of its area.
    Viewer2DUV* view = window.viewer2D();
    const QImage view2D = view->grab().toImage();
    const int chartPixels = countNear(view2D, Viewer2DUV::chartDisplayColor(0), 3);
    EXPECT_GT(chartPixels, view2D.width() * view2D.height() / 10);
    EXPECT_EQ(window.findChild<QLabel*>("numTrianglesLabel")->text(), QString("128"));
}
