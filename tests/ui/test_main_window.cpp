// The main window: statistics labels, the display options, refused files and
// a whole session of opening, texturing, running, saving and reloading.
#include "ui_test_support.h"

#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString labelText(const MainWindow& window, const char* name) { return window.findChild<QLabel*>(name)->text(); }

void click(const MainWindow& window, const char* button)
{
    QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
}

} // namespace

TEST(MainWindow, StatisticsShowFixedDecimalsAndEveryCaptionFitsItsText)
{
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    UnwrappingStats stats;
    stats.numCharts = 7;
    stats.numVertices = 123456789;
    stats.numTriangles = 42;
    stats.normBLen = 4.123456789;
    stats.packingEfficiency = 50.2771;
    stats.flipsFound = true;
    window.updateStatsDisplay(stats);
    QTest::qWait(20);
    const std::pair<const char*, const char*> labels[] = {{"numChartsLabel", "7"}, {"numVerticesLabel", "123456789"},
        {"numTrianglesLabel", "42"}, {"summedBLengthLabel", "4.123"}, {"fillRateLabel", "50.28"}};
    for (const auto& [name, text] : labels)
        EXPECT_EQ(labelText(window, name), text) << name;
    EXPECT_TRUE(window.layoutWarningLabel()->text().contains("flipped"));
    EXPECT_FALSE(window.layoutWarningLabel()->text().contains("overlap"));
    for (QLabel* label : window.findChild<QWidget*>("widget_2")->findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    for (QAbstractButton* box : window.findChild<QWidget*>("controls3D")->findChildren<QAbstractButton*>())
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
}

TEST(MainWindow, DisplayOptionsReachTheThreeDView)
{
    MainWindow window;
    GLViewer3DModel* view = window.viewer3D();
    // The form starts as the view does.
    EXPECT_TRUE(window.findChild<QRadioButton*>("smoothShadingRB")->isChecked());
    EXPECT_EQ(view->shadingMode(), GLViewer3DModel::SmoothShading);
    EXPECT_EQ(window.findChild<QCheckBox*>("coneSingularities3DCB")->isChecked(), view->showConeSingularities());
    EXPECT_EQ(window.findChild<QCheckBox*>("cutEdges3DCB")->isChecked(), view->showCutEdges());
    const std::pair<const char*, int> shading[] = {
        {"flatShadingRB", GLViewer3DModel::FlatShading}, {"noShadingRB", GLViewer3DModel::NoShading}, {"smoothShadingRB", GLViewer3DModel::SmoothShading}};
    for (const auto& [button, mode] : shading) {
        window.findChild<QRadioButton*>(button)->setChecked(true);
        EXPECT_EQ(view->shadingMode(), mode) << button;
    }
    for (bool on : {true, false}) {
        window.findChild<QCheckBox*>("coneSingularities3DCB")->setChecked(on);
        window.findChild<QCheckBox*>("cutEdges3DCB")->setChecked(on);
        EXPECT_EQ(view->showConeSingularities(), on);
        EXPECT_EQ(view->showCutEdges(), on);
    }
}

TEST(MainWindow, EveryRefusedFileShowsTheBoxWithItsReason)
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } rows[] = {
        {"two_shapes", tri + "o a\nf 1/1 2/2 3/3\no b\nf 1/1 3/3 2/2\n", "must be a single chart."},
        {"not_finite", "v 0 0 0\nv nan 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n",
         "The file holds coordinates that are not finite numbers."},
        {"missing_vertex", tri + "f 1/1 2/2 9/3\n", "refer to vertices that do not exist"},
        {"missing_texcoord", tri + "f 1/1 2/2 3/-7\n", "refer to texture coordinates that do not exist"},
        {"polygon_reference", tri + "vt 1 1\nf 1/1 2/2 3/3 99999999999999999999/4\n", "refer to vertices that do not exist"},
        {"mixed_texturing", tri + "f 1/1 2 3/3\n", "on some corners but not on others"},
    };
    testsupport::TempDir dir("ui-reject");
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string path = testsupport::writeTextFile(dir.file(std::string(r.name) + ".obj"), r.text);
        MainWindow window;
        window.viewer2D()->setWaitFor3DView(false);
        QStringList shown;
        QWidget* parent = nullptr;
        window.setCriticalHook([&](QWidget* p, const QString& title, const QString& text) { parent = p, shown << title << text; });
        testing::internal::CaptureStdout();
        window.loadModelFromFile(path.c_str(), true);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(shown.size(), 2);
        EXPECT_EQ(shown[0], QString("Input Mesh Not Accepted"));
        EXPECT_TRUE(shown[1].contains(QString(r.reason))) << shown[1].toStdString();
        EXPECT_EQ(parent, window.viewer2D());
        EXPECT_NE(out.find(r.reason), std::string::npos);
        EXPECT_TRUE(window.pipeline().model().charts.empty());
        window.setBatchMode(true); // no box in batch mode
        window.loadModelFromFile(path.c_str(), true);
        EXPECT_EQ(shown.size(), 2);
    }
}

// One window through a whole session. Batch mode keeps the stages on this
// thread and the texture warning out of a box; the worker-thread runs have
// tests of their own.
TEST(MainWindow, ASessionOpensTexturesRunsSavesAndReloads)
{
    testsupport::TempDir dir("ui-session");
    const std::string good = uitest::writeGridOBJ(dir.file("grid.obj"), 8);
    const std::string bad = testsupport::writeTextFile(dir.file("bad.obj"), "v 0 0 0\nf 1 2 3\n");
    QImage texture(32, 32, QImage::Format_RGB32);
    texture.fill(qRgb(200, 40, 10));
    ASSERT_TRUE(texture.save(QString::fromStdString(dir.file("t.png")), "PNG"));
    testsupport::writeTextFile(dir.file("bad.png"), "not an image");
    MainWindow window;
    window.setBatchMode(true);
    window.setOutputDirectory(dir.path());
    window.resize(1600, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    testing::internal::CaptureStdout();
    // The controls and the title follow whether a model is loaded.
    for (const auto& [file, usable, title] : {std::make_tuple(&bad, false, "Tarnwick"),
                                              std::make_tuple(&good, true, "grid.obj - Tarnwick"),
                                              std::make_tuple(&bad, false, "Tarnwick")}) {
        window.openModelFile(QString::fromStdString(*file));
        for (const char* name : {"optimizeButton", "saveButton", "storeViewButton"})
            EXPECT_EQ(window.findChild<QPushButton*>(name)->isEnabled(), usable) << name << " " << *file;
        EXPECT_EQ(window.action("runAction")->isEnabled(), usable);
        EXPECT_EQ(window.action("saveAction")->isEnabled(), usable);
        EXPECT_EQ(window.windowTitle(), QString(title));
    }
    window.saveButtonPressed(); // nothing is written without a model
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("export.obj"))));

    window.openModelFile(QString::fromStdString(good));
    EXPECT_EQ(labelText(window, "numTrianglesLabel"), "128");
    EXPECT_EQ(window.recentFiles().value(0), QFileInfo(QString::fromStdString(good)).absoluteFilePath());
    QTest::qWait(100);
    // A screenshot of the whole window is kept as an artefact of the test run; the 2D view
    // shows the single chart in its gamma-corrected colour over a good part of its area.
    EXPECT_TRUE(window.grab().save("ui_window_screenshot.png"));
    const QImage view2D = window.viewer2D()->grab().toImage();
    const QColor chart = Viewer2DUV::chartDisplayColor(0);
    int chartPixels = 0;
    for (int y = 0; y < view2D.height(); ++y)
        for (int x = 0; x < view2D.width(); ++x) {
            const QColor c = view2D.pixelColor(x, y);
            chartPixels += std::abs(c.red() - chart.red()) <= 3 && std::abs(c.green() - chart.green()) <= 3 &&
                           std::abs(c.blue() - chart.blue()) <= 3;
        }
    EXPECT_GT(chartPixels, view2D.width() * view2D.height() / 10);

    // A texture: a file that is no image is refused and changes nothing.
    QCheckBox* box = window.findChild<QCheckBox*>("texture3DCB");
    EXPECT_EQ(window.loadTextureAction()->text(), QString("Load texture..."));
    EXPECT_FALSE(window.loadTexture(QString::fromStdString(dir.file("bad.png"))));
    EXPECT_FALSE(window.pipeline().hasTexture() || box->isEnabled());
    EXPECT_TRUE(window.loadTexture(QString::fromStdString(dir.file("t.png"))));
    ASSERT_TRUE(box->isEnabled());
    box->setChecked(true);
    EXPECT_TRUE(window.viewer3D()->showSurfaceTexture());

    click(window, "optimizeButton");
    EXPECT_EQ(window.pipeline().stageCounter(), 3);
    EXPECT_FALSE(testsupport::readTextFile(dir.file("bl_200.svg")).empty());
    click(window, "saveButton");
    const QString message = window.statusBar()->currentMessage();
    EXPECT_TRUE(message.contains("export.svg") && message.contains("export.obj")) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(dir.path()))) << message.toStdString();
    QImage saved;
    ASSERT_TRUE(saved.load(QString::fromStdString(dir.file("export_texture.png")), "PNG"));
    EXPECT_EQ(saved.pixel(saved.width() / 2, saved.height() / 2), qRgb(200, 40, 10)); // inside the grid's chart
    EXPECT_NE(testsupport::readTextFile(dir.file("export.obj")).find("mtllib export.mtl"), std::string::npos);
    window.writeResultJSON("stats.json");
    click(window, "reloadButton");
    EXPECT_EQ(window.pipeline().stageCounter(), 0);
    window.stepButtonPressed();
    EXPECT_EQ(window.pipeline().stageCounter(), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cannot read the texture " + dir.file("bad.png") + ": the file is not a PNG or JPEG image."), std::string::npos) << out;
    EXPECT_NE(out.find("//BEGIN STATS"), std::string::npos);
    EXPECT_FALSE(testsupport::readTextFile(dir.file("stats.json")).empty());
}
