// Behaviour where no OpenGL context can be created. These tests run in a
// process started without a display (TARNWICK_TEST_NO_DISPLAY); elsewhere
// they are skipped.
#include "view_test_support.h"

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
