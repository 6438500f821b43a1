#include "view_test_support.h"

#include "support/test_support.h"
#include "ui/ModelRenderer.h"

#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include <sys/stat.h>

namespace {

const iuv::DoubleVector kUnitSquare{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
const float kTan10 = std::tan(10.0f * 3.14159265f / 180.0f);

void expectMatrixNear(const QMatrix4x4& a, const QMatrix4x4& b, double tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.constData()[i], b.constData()[i], tolerance) << i;
}

} // namespace

TEST(ViewNavigation, DragVelocityIsClampedAndTheSpinDecaysIntoTheTurn)
{
    TestView view;
    const qint64 t0 = 1000000;
    EXPECT_FALSE(view.stepAnimation(t0)); // at rest: only the time is stored
    // A drag across the view's smaller side turns by 180 degrees.
    const float perPixel = 180.0f / std::min(view.width(), view.height());
    view.press(50, 50, Qt::LeftButton);
    view.move(50, 110, Qt::LeftButton); // 60 pixels down
    EXPECT_FLOAT_EQ(view.angularVelocityX(), 60.0f * perPixel);
    view.move(20, 110, Qt::LeftButton); // 30 pixels left
    EXPECT_FLOAT_EQ(view.angularVelocityY(), -30.0f * perPixel);
    view.move(20, 110 - 4 * std::max(view.width(), view.height()), Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.angularVelocityX(), -180.0f); // clamped
    const QMatrix4x4 before = view.renderer().view;
    view.move(0, 0, Qt::LeftButton | Qt::RightButton); // left wins over right: no dolly
    expectMatrixNear(view.renderer().view, before, 0.0);
    TestView spin;
    spin.stepAnimation(t0);
    spin.press(0, 0, Qt::LeftButton);
    const float spinPerPixel = 180.0f / std::min(spin.width(), spin.height());
    spin.move(0, 60, Qt::LeftButton);
    int steps = 0;
    float previous = spin.angularVelocityX();
    while (spin.stepAnimation(t0 + 16 * (steps + 1))) {
        ASSERT_LT(++steps, 1000);
        const float v = spin.angularVelocityX();
        if (v != 0.0f) {
            EXPECT_NEAR(v / previous, 1.0f - 0.005f * 16, 1e-5);
        }
        previous = v;
    }
    // v * 0.92^n falls below 1e-8 after a few hundred steps; all of v is turned.
    EXPECT_TRUE(steps > 200 && steps < 320) << steps;
    QMatrix4x4 expected;
    expected.rotate(60.0f * spinPerPixel, 1, 0, 0);
    expectMatrixNear(spin.renderer().rotation, expected, 1e-3);

    // A blocked event loop brings the spin to rest instead of diverging; a clock going back does no harm.
    TestView paused;
    paused.stepAnimation(5000);
    paused.press(0, 0, Qt::LeftButton);
    paused.move(25, 0, Qt::LeftButton);
    const float pausedTurn = 25.0f * 180.0f / std::min(paused.width(), paused.height());
    EXPECT_TRUE(paused.stepAnimation(5000 + 60000));
    EXPECT_EQ(paused.angularVelocityY(), 0.0f);
    QMatrix4x4 turned;
    turned.rotate(pausedTurn, 0, 1, 0);
    expectMatrixNear(paused.renderer().rotation, turned, 1e-4);
    EXPECT_FALSE(paused.stepAnimation(0));
}

TEST(ViewNavigation, CameraFitDollyPanWheelAndDegeneratePositions)
{
    testsupport::TempDir dir("ui3d_fit");
    testsupport::inDirectory(dir.path(), [] {
        TestView view;
        view.resize(200, 200);
        view.updateCamera(kUnitSquare);
        QMatrix4x4 fitted;
        fitted.translate(-0.5f, -0.5f, -0.5f / kTan10);
        expectMatrixNear(view.renderer().view, fitted, 1e-5);
        const float unit = 0.2f * std::sqrt(2.0f);
        EXPECT_NEAR(view.navigationUnit(), unit, 1e-6);
        view.press(10, 10, Qt::RightButton);
        view.move(10, 20, Qt::RightButton); // dolly by 0.1 * 10 units
        view.press(0, 0, Qt::MiddleButton);
        view.move(3, 4, Qt::MiddleButton);  // pan by 0.03, -0.04 units
        view.wheel(120);                    // 0.6 units
        QMatrix4x4 moved;
        moved.translate(0.03f * unit, -0.04f * unit, 1.6f * unit);
        expectMatrixNear(view.renderer().view, moved * fitted, 1e-5);
        // A wide viewport fits the width.
        TestView wide;
        wide.resize(400, 100);
        wide.updateCamera(iuv::DoubleVector{0, 0, 2, 8, 1, 2});
        EXPECT_NEAR(wide.renderer().view(2, 3), -(4.0f / (4.0f * kTan10) + 2.0f), 1e-4);

        TestView odd; // never shown: no viewport size at all
        odd.updateCamera(iuv::DoubleVector{});
        odd.updateCamera(iuv::DoubleVector{std::nan(""), 1, 2});
        expectMatrixNear(odd.renderer().view, QMatrix4x4(), 0.0);
        odd.updateCamera(iuv::DoubleVector{3, 3, 3, 3, 3, 3}); // a single point
        EXPECT_FLOAT_EQ(odd.navigationUnit(), 1.0f);
        for (int i = 0; i < 16; ++i)
            EXPECT_TRUE(std::isfinite(odd.renderer().view.constData()[i]) && std::isfinite(odd.renderer().projection.constData()[i]));
    });
}

TEST(ViewNavigation, StoredViewIsReadBackAndBadFilesAreIgnored)
{
    testsupport::TempDir dir("ui3d_nav");
    testsupport::inDirectory(dir.path(), [] {
        TestView fresh;
        fresh.resize(300, 200);
        fresh.updateCamera(kUnitSquare);
        const QMatrix4x4 fitted = fresh.renderer().view;
        TestView view;
        view.resize(300, 200);
        view.updateCamera(kUnitSquare);
        view.press(0, 0, Qt::MiddleButton);
        view.move(5, -3, Qt::MiddleButton);
        view.stepAnimation(0);
        view.press(0, 0, Qt::LeftButton);
        view.move(17, 11, Qt::LeftButton);
        view.stepAnimation(16);
        const QMatrix4x4 storedView = view.renderer().view, storedRotation = view.renderer().rotation;
        ASSERT_FALSE(storedRotation.isIdentity());
        view.storeView();
        // 32 numbers in row order, each followed by a blank, no line ends.
        const std::string text = testsupport::readTextFile("navigation.mtx");
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(text.back(), ' ');
        std::istringstream in(text);
        std::vector<double> numbers;
        for (double v; in >> v;)
            numbers.push_back(v);
        ASSERT_EQ(numbers.size(), 32u);
        EXPECT_NEAR(numbers[3], storedView(0, 3), 1e-5);
        TestView other;
        other.resize(300, 200);
        other.updateCamera(kUnitSquare);
        expectMatrixNear(other.renderer().view, storedView, 1e-4);
        expectMatrixNear(other.renderer().rotation, storedRotation, 1e-5);

        std::string ones;
        for (int i = 0; i < 20; ++i)
            ones += "1 ";
        for (const std::string& content : {std::string(), std::string("garbage"), ones, ones + ones.substr(0, 22) + "nan 1 1", std::string("dir")}) {
            std::remove("navigation.mtx");
            if (content == "dir") {
                ASSERT_EQ(mkdir("navigation.mtx", 0700), 0); // neither readable nor writable
            } else {
                testsupport::writeTextFile("navigation.mtx", content);
            }
            TestView bad;
            bad.resize(300, 200);
            bad.updateCamera(kUnitSquare);
            expectMatrixNear(bad.renderer().view, fitted, 0.0);
            expectMatrixNear(bad.renderer().rotation, QMatrix4x4(), 0.0);
            bad.storeView();
        }
    });
}

TEST(ViewDrag, ObjFilesAreAcceptedAndAnnouncedOthersIgnored)
{
    TestView view;
    int emitted = 0;
    QByteArray received;
    QObject::connect(&view, &GLViewer3DModel::modelDragged, [&](const char* path) { received = path; ++emitted; });
    const auto drag = [&](QMimeData& mime) {
        QDragEnterEvent event(QPoint(1, 1), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        event.ignore();
        view.dragEnter(&event);
        return event.isAccepted();
    };
    const auto dragUrls = [&](const QList<QUrl>& urls) { QMimeData mime; mime.setUrls(urls); return drag(mime); };
    EXPECT_TRUE(dragUrls({QUrl::fromLocalFile("/tmp/models/bunny.obj"), QUrl::fromLocalFile("/tmp/x.txt")}));
    EXPECT_EQ(received, QByteArray("/tmp/models/bunny.obj"));
    EXPECT_FALSE(dragUrls({QUrl::fromLocalFile("/tmp/x.txt"), QUrl::fromLocalFile("/tmp/bunny.obj")}));
    EXPECT_FALSE(dragUrls({QUrl::fromLocalFile("/tmp/BUNNY.OBJ")}));
    EXPECT_FALSE(dragUrls({}));
    QMimeData text;
    text.setText("/tmp/bunny.obj");
    EXPECT_FALSE(drag(text));
    EXPECT_EQ(emitted, 1);
}
