// Behaviour where no OpenGL context can be created. These tests run in a
// process started without a display (TARNWICK_TEST_NO_DISPLAY); elsewhere
// they are skipped.
#include "view_test_support.h"

#include "render/BatchSnapshots.h"
#include "support/test_support.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

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

// Without a usable driver the batch snapshots say why once, and every
// snapshot is refused with the short reason; no file is written.
TEST(Headless, BatchSnapshotsWithoutADriverSayWhyOnceAndWriteNothing)
{
    if (GLViewer3DModel::openGLAvailable())
        GTEST_SKIP() << "OpenGL is available here";
    const QByteArray drivers = qgetenv("LIBGL_DRIVERS_PATH");
    qputenv("LIBGL_DRIVERS_PATH", "/nonexistent");
    testsupport::TempDir dir("ui3d_nodriver");
    Pipeline pipeline;
    BatchSnapshots snapshots(pipeline, 64, 48);
    std::vector<std::string> reasons;
    testing::internal::CaptureStdout();
    for (const char* name : {"a.png", "b.png"}) {
        std::string why;
        EXPECT_FALSE(snapshots.saveSnapshot(dir.file(name), why));
        reasons.push_back(why);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file(name))));
    }
    const std::string out = testing::internal::GetCapturedStdout();
    if (drivers.isNull())
        qunsetenv("LIBGL_DRIVERS_PATH");
    else
        qputenv("LIBGL_DRIVERS_PATH", drivers);
    EXPECT_EQ(reasons, std::vector<std::string>(2, "OpenGL is not available"));
    EXPECT_EQ(out, "OpenGL is not available (EGL could not be initialised): the 3D view stays empty and no 3D "
                   "snapshots are written.\n");
}
