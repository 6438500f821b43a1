#include "view_test_support.h"

#include "support/test_support.h"
#include "ui/ModelRenderer.h"

#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace {

const iuv::DoubleVector kUnitSquare{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

void expectMatrixNear(const QMatrix4x4& a, const QMatrix4x4& b, double tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a(r, c), b(r, c), tolerance) << "(" << r << "," << c << ")";
}

} // namespace

TEST(ViewNavigation, LeftDragVelocityIsClampedToOneHundred)
{
    TestView view;
    view.press(50, 50, Qt::LeftButton);
    view.move(50, 110, Qt::LeftButton);  // 60 pixels down: 2 * 60 = 120, clamped
    EXPECT_FLOAT_EQ(view.angularVelocityX(), 100.0f);
    EXPECT_FLOAT_EQ(view.angularVelocityY(), 0.0f);
    view.move(20, 110, Qt::LeftButton);  // 30 pixels left
    EXPECT_FLOAT_EQ(view.angularVelocityY(), -60.0f);
    view.move(-100, 10, Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.angularVelocityX(), -100.0f);
    EXPECT_FLOAT_EQ(view.angularVelocityY(), -100.0f);
    // Only one branch applies: left wins over right, so the view is untouched.
    const QMatrix4x4 before = view.renderer().view;
    view.move(0, 0, Qt::LeftButton | Qt::RightButton);
    expectMatrixNear(view.renderer().view, before, 0.0);
}

TEST(ViewNavigation, SpinDecaysAndStopsBelowTheThreshold)
{
    TestView view;
    const qint64 t0 = 1000000;
    EXPECT_FALSE(view.stepAnimation(t0));  // at rest: only the time is stored
    view.press(0, 0, Qt::LeftButton);
    view.move(0, 60, Qt::LeftButton);
    int steps = 0;
    float previous = view.angularVelocityX();
    while (view.stepAnimation(t0 + 16 * (steps + 1))) {
        ++steps;
        ASSERT_LT(steps, 1000);
        const float v = view.angularVelocityX();
        if (v != 0.0f) {
            EXPECT_NEAR(v / previous, 1.0f - 0.005f * 16, 1e-5);  // decay factor per step
            EXPECT_GE(std::fabs(v), 1e-8f);
        }
        previous = v;
    }
    // 100 * 0.92^n falls below 1e-8 after about 277 steps; then it stops.
    EXPECT_GT(steps, 260);
    EXPECT_LT(steps, 290);
    EXPECT_EQ(view.angularVelocityX(), 0.0f);
    EXPECT_FALSE(view.stepAnimation(t0 + 16 * (steps + 5)));
    // Every degree of velocity lost was turned: 100 degrees about the x axis.
    QMatrix4x4 expected;
    expected.rotate(100.0f, 1, 0, 0);
    expectMatrixNear(view.renderer().rotation, expected, 1e-3);
}

TEST(ViewNavigation, LongPauseBringsTheSpinToRestInsteadOfDiverging)
{
    TestView view;
    view.stepAnimation(5000);
    view.press(0, 0, Qt::LeftButton);
    view.move(25, 0, Qt::LeftButton);  // y velocity 50
    EXPECT_TRUE(view.stepAnimation(5000 + 60000));  // the event loop was blocked for a minute
    EXPECT_EQ(view.angularVelocityY(), 0.0f);
    QMatrix4x4 expected;
    expected.rotate(50.0f, 0, 1, 0);
    expectMatrixNear(view.renderer().rotation, expected, 1e-4);
    EXPECT_FALSE(view.stepAnimation(5000 + 60016));
    EXPECT_FALSE(view.stepAnimation(0));  // a clock that went back does no harm
}

TEST(ViewNavigation, CameraFitDollyPanAndWheel)
{
    const std::string dir = testsupport::makeTempDir("ui3d_fit");
    testsupport::inDirectory(dir, [] {
        TestView view;
        view.resize(200, 200);
        view.updateCamera(kUnitSquare);
        const float d = 0.5f / std::tan(10.0f * 3.14159265f / 180.0f);
        QMatrix4x4 fitted;
        fitted.translate(-0.5f, -0.5f, -d);
        expectMatrixNear(view.renderer().view, fitted, 1e-5);
        expectMatrixNear(view.renderer().rotation, QMatrix4x4(), 0.0);
        const float unit = 0.2f * std::sqrt(2.0f);
        EXPECT_NEAR(view.navigationUnit(), unit, 1e-6);
        EXPECT_NEAR(view.renderer().pivot.x(), 0.5f, 1e-6);

        view.press(10, 10, Qt::RightButton);
        view.move(10, 20, Qt::RightButton);  // dolly by 0.1 * 10 units
        view.press(0, 0, Qt::MiddleButton);
        view.move(3, 4, Qt::MiddleButton);  // pan by 0.03, -0.04 units
        view.wheel(120);                    // 0.6 units
        QMatrix4x4 moved;
        moved.translate(0.03f * unit, -0.04f * unit, (1.0f + 0.6f) * unit);
        expectMatrixNear(view.renderer().view, moved * fitted, 1e-5);

        // A wide viewport fits the width: d2 = (ex/2) / (aspect * tan 10).
        TestView wide;
        wide.resize(400, 100);
        wide.updateCamera(iuv::DoubleVector{0, 0, 2, 8, 1, 2});
        EXPECT_NEAR(wide.renderer().view(2, 3), -(4.0f / (4.0f * std::tan(10.0f * 3.14159265f / 180.0f)) + 2.0f),
                    1e-4);
    });
}

TEST(ViewNavigation, DegeneratePositionsNeverGiveNonFiniteMatrices)
{
    const std::string dir = testsupport::makeTempDir("ui3d_degenerate");
    testsupport::inDirectory(dir, [] {
        TestView view;  // never shown: no viewport size at all
        view.updateCamera(iuv::DoubleVector{});
        view.updateCamera(iuv::DoubleVector{std::nan(""), 1, 2});
        expectMatrixNear(view.renderer().view, QMatrix4x4(), 0.0);
        view.updateCamera(iuv::DoubleVector{3, 3, 3, 3, 3, 3});  // a single point
        EXPECT_FLOAT_EQ(view.navigationUnit(), 1.0f);
        for (int i = 0; i < 16; ++i) {
            EXPECT_TRUE(std::isfinite(view.renderer().view.constData()[i]));
            EXPECT_TRUE(std::isfinite(view.renderer().projection.constData()[i]));
        }
    });
}

TEST(ViewNavigation, StoredViewRoundTripRestoresThePose)
{
    const std::string dir = testsupport::makeTempDir("ui3d_nav");
    testsupport::inDirectory(dir, [] {
        TestView view;
        view.resize(300, 200);
        view.updateCamera(kUnitSquare);
        view.press(0, 0, Qt::RightButton);
        view.move(0, 7, Qt::RightButton);
        view.press(0, 0, Qt::MiddleButton);
        view.move(5, -3, Qt::MiddleButton);
        view.stepAnimation(0);
        view.press(0, 0, Qt::LeftButton);
        view.move(17, 11, Qt::LeftButton);
        view.stepAnimation(16);
        view.stepAnimation(40);
        const QMatrix4x4 storedView = view.renderer().view;
        const QMatrix4x4 storedRotation = view.renderer().rotation;
        ASSERT_FALSE(storedRotation.isIdentity());
        view.storeView();

        // 32 numbers, each followed by a blank, no line ends.
        const std::string text = testsupport::readTextFile("navigation.mtx");
        EXPECT_EQ(text.find('\n'), std::string::npos);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), ' ');
        std::istringstream in(text);
        std::vector<double> numbers;
        for (double v; in >> v;)
            numbers.push_back(v);
        ASSERT_EQ(numbers.size(), 32u);
        EXPECT_NEAR(numbers[3], storedView(0, 3), 1e-5);  // row order: row 0 first

        // A new fit is replaced by the stored pose, in this view and a new one.
        view.updateCamera(kUnitSquare);
        expectMatrixNear(view.renderer().view, storedView, 1e-4);
        expectMatrixNear(view.renderer().rotation, storedRotation, 1e-5);
        TestView other;
        other.resize(300, 200);
        other.updateCamera(kUnitSquare);
        expectMatrixNear(other.renderer().view, storedView, 1e-4);
        expectMatrixNear(other.renderer().rotation, storedRotation, 1e-5);
    });
}

TEST(ViewNavigation, UnreadableStoredViewLeavesTheFittedCamera)
{
    const std::string dir = testsupport::makeTempDir("ui3d_badnav");
    testsupport::inDirectory(dir, [] {
        TestView reference;
        reference.resize(200, 200);
        reference.updateCamera(kUnitSquare);
        const QMatrix4x4 fitted = reference.renderer().view;

        std::string sixteenOnes;
        for (int i = 0; i < 20; ++i)
            sixteenOnes += "1 ";
        const std::string bad[] = {"", "garbage", sixteenOnes, sixteenOnes + sixteenOnes.substr(0, 22) + "nan 1 1"};
        for (const std::string& content : bad) {
            testsupport::writeTextFile("navigation.mtx", content);
            TestView view;
            view.resize(200, 200);
            view.updateCamera(kUnitSquare);
            expectMatrixNear(view.renderer().view, fitted, 0.0);
            expectMatrixNear(view.renderer().rotation, QMatrix4x4(), 0.0);
        }
        // A directory of that name cannot be read either, nor written.
        std::remove("navigation.mtx");
        ASSERT_EQ(mkdir("navigation.mtx", 0700), 0);
        TestView view;
        view.resize(200, 200);
        view.updateCamera(kUnitSquare);
        expectMatrixNear(view.renderer().view, fitted, 0.0);
        view.storeView();
    });
}

TEST(ViewDrag, ObjFilesAreAcceptedAndAnnouncedOthersIgnored)
{
    TestView view;
    int emitted = 0;
    QByteArray received;
    QObject::connect(&view, &GLViewer3DModel::modelDragged, [&](const char* path) {
        received = path;
        ++emitted;
    });

    const auto drag = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent event(QPoint(1, 1), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        event.ignore();
        view.dragEnter(&event);
        return event.isAccepted();
    };
    EXPECT_TRUE(drag({QUrl::fromLocalFile("/tmp/models/bunny.obj"), QUrl::fromLocalFile("/tmp/x.txt")}));
    EXPECT_EQ(received, QByteArray("/tmp/models/bunny.obj"));
    EXPECT_EQ(emitted, 1);
    EXPECT_FALSE(drag({QUrl::fromLocalFile("/tmp/x.txt"), QUrl::fromLocalFile("/tmp/bunny.obj")}));
    EXPECT_FALSE(drag({QUrl::fromLocalFile("/tmp/BUNNY.OBJ")}));
    EXPECT_FALSE(drag({}));
    EXPECT_EQ(emitted, 1);

    QMimeData text;
    text.setText("/tmp/bunny.obj");
    QDragEnterEvent event(QPoint(1, 1), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    event.ignore();
    view.dragEnter(&event);
    EXPECT_FALSE(event.isAccepted());
    EXPECT_EQ(emitted, 1);
}

TEST(ViewGeometry, ConeMarkersAndTubesFromTheSlots)
{
    const std::string dir = testsupport::makeTempDir("ui3d_geom");
    testsupport::inDirectory(dir, [] {
        TestView view;
        view.resize(200, 200);
        const iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        view.setConeSingularities(iuv::UIntVector{0, 1, 2}, iuv::DoubleVector{});  // ignored
        EXPECT_EQ(view.coneMarkerGeometry().vertexCount(), 0u);
        view.updateCamera(positions);
        view.setConeSingularities(iuv::UIntVector{0, 1, 2}, positions);
        EXPECT_EQ(view.coneMarkerGeometry().vertexCount(), 36u);
        EXPECT_EQ(view.coneMarkerGeometry().triangleCount(), 60u);
        // Marker size 0.025 navigation units.
        const double x = view.coneMarkerGeometry().vertices[2];
        EXPECT_NEAR(-x, 0.025 * view.navigationUnit(), 1e-6);

        view.updateMeshData(iuv::UIntVector{0, 1, 2, 0, 2, 3}, positions, iuv::UIntVector{0, 1, 2, 0, 2, 3},
                            iuv::DoubleVector{0, 0, 1, 0, 1, 1, 0, 1}, iuv::UIntVector{0, 1}, 1, {}, {2});
        EXPECT_EQ(view.edgeTubeGeometry().vertexCount(), 32u);
        EXPECT_EQ(view.edgeTubeGeometry().triangleCount(), 48u);
        EXPECT_TRUE(view.renderer().hasMesh());
        // A second update replaces the tubes rather than adding to them.
        view.updateMeshData(iuv::UIntVector{}, positions, iuv::UIntVector{}, iuv::DoubleVector{},
                            iuv::UIntVector{0, 1, 1, 2}, 2, {}, {});
        EXPECT_EQ(view.edgeTubeGeometry().vertexCount(), 64u);
    });
}

