// Navigation of the 3D view: turning with inertia, dolly, pan and wheel, and
// the stored view.
#include "view_test_support.h"

#include "support/test_support.h"
#include "ui/ModelRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <sstream>

#include <sys/stat.h>

namespace {

const iuv::DoubleVector kUnitSquare{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

void expectMatrixNear(const QMatrix4x4& a, const QMatrix4x4& b, double tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.constData()[i], b.constData()[i], tolerance) << i;
}

} // namespace

TEST(ViewNavigation, ADragAcrossTheViewTurnsHalfATurnWhateverTheFrameRate)
{
    const struct {
        const char* name;
        double dx, dy; // in view sizes (of the smaller side)
        int stepMs;
        float degreesX, degreesY;
    } rows[] = {
        {"a third of the view down", 0, 1.0 / 3, 16, 60, 0},
        {"half the view to the left", -0.5, 0, 16, 0, -90},
        {"far beyond the view: clamped", 0, 4, 16, 180, 0},
        {"the event loop blocked for a minute", 0.25, 0, 60000, 0, 45},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TestView view;
        const int side = std::min(view.width(), view.height());
        EXPECT_FALSE(view.stepAnimation(1000)); // at rest
        view.press(0, 0, Qt::LeftButton);
        view.move(int(std::lround(r.dx * side)), int(std::lround(r.dy * side)), Qt::LeftButton);
        int steps = 0;
        while (view.stepAnimation(1000 + qint64(r.stepMs) * ++steps))
            ASSERT_LT(steps, 1000);
        QMatrix4x4 expected;
        expected.rotate(r.degreesX, 1, 0, 0);
        expected.rotate(r.degreesY, 0, 1, 0);
        expectMatrixNear(view.renderer().rotation, expected, 1e-3);
        EXPECT_FALSE(view.stepAnimation(0)); // a clock going back does no harm
    }
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
    // A wide viewport fits the width of a box from x 0 to 8 at z 2.
    TestView wide;
    wide.resize(400, 100);
    wide.updateCamera(iuv::DoubleVector{0, 0, 2, 8, 1, 2});
    EXPECT_NEAR(wide.renderer().view(2, 3), -(1.0f / std::tan(10.0f * 3.14159265f / 180.0f) + 2.0f), 1e-4);

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
