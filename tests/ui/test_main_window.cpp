// The main window: widget tree, slot order, statistics labels, the controls'
// connections and the dialogs that batch mode must never show.
#include "ui_test_support.h"

#include "ui/GLViewer3DModel.h"
#include "support/test_support.h"
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGraphicsPathItem>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

template <typename T>
T* child(const MainWindow& window, const char* name)
{
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace

TEST(MainWindow, WidgetTreeNamesCaptionsAndStates)
{
    MainWindow window;
    EXPECT_EQ(window.windowTitle(), QString("Tarnwick"));
    EXPECT_EQ(window.objectName(), QString("MainWindow"));
    EXPECT_EQ(window.locale(), QLocale(QLocale::English, QLocale::UnitedStates));

    auto* splitter2 = child<QSplitter>(window, "splitter_2");
    ASSERT_NE(splitter2, nullptr);
    EXPECT_EQ(splitter2->orientation(), Qt::Vertical);
    EXPECT_EQ(splitter2->handleWidth(), 12);
    EXPECT_EQ(window.centralWidget()->objectName(), QString("centralWidget"));
    auto* splitter = child<QSplitter>(window, "splitter");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->orientation(), Qt::Horizontal);
    ASSERT_EQ(splitter->count(), 2);
    EXPECT_EQ(splitter->widget(0), child<Viewer2DUV>(window, "graphicsView2D"));
    EXPECT_EQ(splitter->widget(1), child<GLViewer3DModel>(window, "modelViewerGL"));

    auto* view2D = window.viewer2D();
    EXPECT_EQ(view2D->minimumSize(), QSize(600, 400));
    EXPECT_EQ(view2D->resizeAnchor(), QGraphicsView::NoAnchor);
    EXPECT_EQ(view2D->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(view2D->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(window.viewer3D()->minimumSize(), QSize(200, 400));
    EXPECT_EQ(window.viewer3D()->maximumWidth(), 800);

    const struct {
        const char* name;
        const char* text;
        bool bold;
    } labels[] = {
        {"label_2", "#Charts:", true},          {"numChartsLabel", "0", false},
        {"label_7", "Packing Efficiency (%):", true}, {"fillRateLabel", "0", false},
        {"label_6", "Norm. Boundary Length:", true},  {"summedBLengthLabel", "0", false},
        {"label_3", "#Vertices:", true},        {"numVerticesLabel", "0", false},
        {"label_5", "#Triangles:", true},       {"numTrianglesLabel", "0", false},
    };
    auto* statsBar = child<QWidget>(window, "widget_2");
    ASSERT_NE(statsBar, nullptr);
    EXPECT_EQ(statsBar->maximumHeight(), 20);
    EXPECT_EQ(statsBar->minimumHeight(), 20);
    for (const auto& l : labels) {
        auto* label = child<QLabel>(window, l.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), statsBar);
        EXPECT_EQ(label->text(), QString(l.text)) << l.name;
        EXPECT_EQ(label->styleSheet(), QString(l.bold ? "font-weight:bold;" : "")) << l.name;
    }

    const std::vector<std::pair<const char*, const char*>> boxes = {
        {"controls2D", "Controls"}, {"stepButton_2", "Tarnwick"}, {"controls3D", "3D View"}, {"groupBox", "Shading"}};
    for (const auto& b : boxes)
        EXPECT_EQ(child<QGroupBox>(window, b.first)->title(), QString(b.second)) << b.first;
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"reloadButton", "Reload"}, {"optimizeButton", "Run"}, {"saveButton", "Save"}, {"storeViewButton", "Store View"},
        {"coneSingularities3DCB", "Cone Singularities"}, {"cutEdges3DCB", "Cut Edges"},
        {"flatShadingRB", "Flat"}, {"smoothShadingRB", "Smooth"}, {"noShadingRB", "None"}};
    for (const auto& b : buttons)
        EXPECT_EQ(child<QAbstractButton>(window, b.first)->text(), QString(b.second)) << b.first;
    EXPECT_FALSE(child<QCheckBox>(window, "coneSingularities3DCB")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(window, "cutEdges3DCB")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(window, "smoothShadingRB")->isChecked());
    // The form's initial states match the 3D view's own defaults.
    EXPECT_EQ(window.viewer3D()->shadingMode(), 1);
    EXPECT_FALSE(window.viewer3D()->showConeSingularities());
    EXPECT_TRUE(window.viewer3D()->showCutEdges());

    EXPECT_EQ(child<QMenuBar>(window, "menuBar"), window.menuBar());
    EXPECT_EQ(child<QStatusBar>(window, "statusBar"), window.statusBar());
    auto* toolBar = child<QToolBar>(window, "mainToolBar");
    ASSERT_NE(toolBar, nullptr);
    EXPECT_EQ(window.toolBarArea(toolBar), Qt::TopToolBarArea);
}

TEST(MainWindow, ControlStripKeepsItsHeightAndTheThreeDViewItsWidthLimit)
{
    MainWindow window;
    window.setBatchMode(true);
    window.resize(1800, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* controls = child<QGroupBox>(window, "controls2D");
    EXPECT_EQ(controls->height(), 140);
    EXPECT_LE(window.viewer3D()->width(), 800);
    window.resize(1500, 1000);
    QTest::qWait(50);
    EXPECT_EQ(controls->height(), 140);
    auto* splitter = child<QSplitter>(window, "splitter");
    splitter->setSizes({200, 1300});
    EXPECT_LE(window.viewer3D()->width(), 800);
}

TEST(MainWindow, StatisticsLabelsShowFixedDecimalsAndFitTheirTexts)
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
    EXPECT_EQ(child<QLabel>(window, "numChartsLabel")->text(), QString("7"));
    EXPECT_EQ(child<QLabel>(window, "numVerticesLabel")->text(), QString("123456789"));
    EXPECT_EQ(child<QLabel>(window, "numTrianglesLabel")->text(), QString("42"));
    EXPECT_EQ(child<QLabel>(window, "summedBLengthLabel")->text(), QString("4.123"));
    EXPECT_EQ(child<QLabel>(window, "fillRateLabel")->text(), QString("50.28"));
    EXPECT_TRUE(window.layoutWarningLabel()->text().contains("flipped"));
    EXPECT_FALSE(window.layoutWarningLabel()->text().contains("overlap"));
    // Every caption, value and check box is at least as wide as its text.
    for (QLabel* label : window.findChild<QWidget*>("widget_2")->findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    for (QAbstractButton* box : window.findChild<QWidget*>("controls3D")->findChildren<QAbstractButton*>())
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
}

TEST(MainWindow, DisplayUpdatesReachTheLabels)
{
    MainWindow window;
    window.pipeline().model() = uitest::quadStrip(5);
    window.viewer2D()->updateDisplay(false);
    EXPECT_EQ(child<QLabel>(window, "numChartsLabel")->text(), QString("5"));
    EXPECT_EQ(child<QLabel>(window, "numTrianglesLabel")->text(), QString("10"));
    EXPECT_EQ(child<QLabel>(window, "numVerticesLabel")->text(), QString("12"));
    // Five squares of side 0.15: boundary 3, area 0.1125.
    EXPECT_EQ(child<QLabel>(window, "summedBLengthLabel")->text(), QString::number(3.0 / std::sqrt(0.1125), 'f', 3));
    EXPECT_TRUE(window.viewer2D()->seamPathItems().isEmpty()); // no redraw without dirty data
    window.viewer2D()->updateDisplay(true);
    EXPECT_EQ(window.viewer2D()->seamPathItems().size(), 8);
}

TEST(MainWindow, DisplayOptionsReachTheThreeDView)
{
    MainWindow window;
    GLViewer3DModel* view3D = window.viewer3D();
    child<QRadioButton>(window, "flatShadingRB")->setChecked(true);
    EXPECT_EQ(view3D->shadingMode(), 0);
    child<QRadioButton>(window, "noShadingRB")->setChecked(true);
    EXPECT_EQ(view3D->shadingMode(), 2);
    child<QRadioButton>(window, "smoothShadingRB")->setChecked(true);
    EXPECT_EQ(view3D->shadingMode(), 1);
    child<QCheckBox>(window, "coneSingularities3DCB")->setChecked(true);
    EXPECT_TRUE(view3D->showConeSingularities());
    child<QCheckBox>(window, "cutEdges3DCB")->setChecked(false);
    EXPECT_FALSE(view3D->showCutEdges());
}

TEST(MainWindow, SeamSlotsForwardToTheTwoDView)
{
    MainWindow window;
    window.resize(1800, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.pipeline().model() = uitest::quadStrip(3);
    window.viewer2D()->updateDisplay(true);
    Viewer2DUV* view = window.viewer2D();
    const QPointF middle = view->seamPathItems()[2]->path().pointAtPercent(0.5);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->mapFromScene(middle));
    ASSERT_EQ(view->selectedSeamIndex(), 2);
    window.reattachmentButtonPressed();
    EXPECT_NE(view->movedChartGroup(), nullptr);
    window.clearReattachmentButtonPressed();
    EXPECT_EQ(view->selectedSeamIndex(), -1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->mapFromScene(middle));
    window.glueButtonPressed();
    EXPECT_EQ(window.pipeline().model().charts.size(), 2u);
    EXPECT_EQ(child<QLabel>(window, "numChartsLabel")->text(), QString("2"));
}

TEST(MainWindow, RejectionsShowABoxOnlyOutsideBatchMode)
{
    MainWindow window;
    QStringList shown;
    QWidget* parent = nullptr;
    window.setCriticalHook([&](QWidget* p, const QString& title, const QString& text) {
        parent = p;
        shown << title << text;
    });
    window.inputRejected("Input Mesh Not Accepted", "Cannot process input: must be a single chart.");
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], QString("Input Mesh Not Accepted"));
    EXPECT_EQ(shown[1], QString("Cannot process input: must be a single chart."));
    EXPECT_EQ(parent, window.viewer2D());

    window.setBatchMode(true);
    window.inputRejected("Input Mesh Not Accepted", "Cannot process input: must be a single chart.");
    EXPECT_EQ(shown.size(), 2);
}

TEST(MainWindow, EveryRefusedFileShowsTheBoxWithItsReason)
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"two_shapes", tri + "o a\nf 1/1 2/2 3/3\no b\nf 1/1 3/3 2/2\n", "must be a single chart."},
        {"not_finite", "v 0 0 0\nv nan 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n",
         "The file holds coordinates that are not finite numbers."},
        {"missing_vertex", tri + "f 1/1 2/2 9/3\n", "refer to vertices that do not exist"},
        {"missing_texcoord", tri + "f 1/1 2/2 3/-7\n", "refer to texture coordinates that do not exist"},
        {"polygon_reference", tri + "vt 1 1\nf 1/1 2/2 3/3 99999999999999999999/4\n",
         "refer to vertices that do not exist"},
        {"mixed_texturing", tri + "f 1/1 2 3/3\n", "on some corners but not on others"},
    };
    const std::string dir = testsupport::makeTempDir("ui-reject");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = testsupport::writeTextFile(dir + "/" + c.name + ".obj", c.text);
        MainWindow window;
        window.viewer2D()->setWaitFor3DView(false);
        QStringList shown;
        window.setCriticalHook([&](QWidget*, const QString& title, const QString& text) { shown << title << text; });
        testing::internal::CaptureStdout();
        window.loadModelFromFile(path.c_str(), true);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(shown.size(), 2);
        EXPECT_EQ(shown[0], QString("Input Mesh Not Accepted"));
        EXPECT_TRUE(shown[1].contains(QString(c.reason))) << shown[1].toStdString();
        EXPECT_NE(out.find(c.reason), std::string::npos);
        EXPECT_TRUE(window.pipeline().model().charts.empty());
    }
}

TEST(MainWindow, BatchModeLoadsWithoutWaiting)
{
    MainWindow window;
    window.setBatchMode(true);
    EXPECT_FALSE(window.viewer2D()->waitsFor3DView());
    testing::internal::CaptureStdout();
    window.loadModelFromFile("/nonexistent/batch.obj", true);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(window.viewer2D()->pendingModelFile().isEmpty());
    EXPECT_EQ(window.pipeline().modelFileName(), "/nonexistent/batch.obj");
}

TEST(MainWindow, ButtonsDriveThePipeline)
{
    const std::string dir = testsupport::makeTempDir("ui-buttons");
    const std::string obj = uitest::writeGridOBJ(dir + "/grid.obj", 2);
    testsupport::inDirectory(dir, [&] {
        MainWindow window;
        window.setBatchMode(true); // no waiting, no dialogs
        testing::internal::CaptureStdout();
        window.loadModelFromFile(obj.c_str(), true);
        ASSERT_FALSE(window.pipeline().model().charts.empty());
        EXPECT_EQ(window.findChild<QLabel*>("numTrianglesLabel")->text(), QString("8"));

        QTest::mouseClick(window.findChild<QPushButton*>("optimizeButton"), Qt::LeftButton);
        EXPECT_EQ(window.pipeline().stageCounter(), 3);
        QTest::mouseClick(window.findChild<QPushButton*>("reloadButton"), Qt::LeftButton);
        EXPECT_EQ(window.pipeline().stageCounter(), 0);
        window.stepButtonPressed();
        EXPECT_EQ(window.pipeline().stageCounter(), 1);
        std::remove("export.svg");
        QTest::mouseClick(window.findChild<QPushButton*>("saveButton"), Qt::LeftButton);
        window.writeResultJSON("stats.json");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("//BEGIN STATS"), std::string::npos);
        EXPECT_FALSE(testsupport::readTextFile("export.svg").empty());
        EXPECT_FALSE(testsupport::readTextFile("stats.json").empty());
        EXPECT_FALSE(testsupport::readTextFile("bl_200.svg").empty());
    });
}

TEST(MainWindow, LoadedTextureIsSavedWithTheLayoutAndEnablesTheTextureDisplay)
{
    testsupport::TempDir dir("ui-texture");
    const std::string obj = uitest::writeGridOBJ(dir.file("grid.obj"), 2);
    QImage texture(32, 32, QImage::Format_RGB32);
    texture.fill(qRgb(200, 40, 10));
    ASSERT_TRUE(texture.save(QString::fromStdString(dir.file("t.png")), "PNG"));
    testsupport::writeTextFile(dir.file("bad.png"), "not an image");
    testsupport::inDirectory(dir.path(), [&] {
        MainWindow window;
        window.setBatchMode(true); // no waiting, no dialogs
        testing::internal::CaptureStdout();
        window.loadModelFromFile(obj.c_str(), true);
        QCheckBox* box = child<QCheckBox>(window, "texture3DCB");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString("Texture"));
        EXPECT_FALSE(box->isEnabled());
        ASSERT_NE(window.loadTextureAction(), nullptr);
        EXPECT_EQ(window.loadTextureAction()->text(), QString("Load texture..."));

        EXPECT_FALSE(window.loadTexture("bad.png"));
        EXPECT_FALSE(window.pipeline().hasTexture());
        EXPECT_FALSE(box->isEnabled());
        EXPECT_TRUE(window.loadTexture("t.png"));
        EXPECT_TRUE(box->isEnabled());
        box->setChecked(true);
        EXPECT_TRUE(window.viewer3D()->showSurfaceTexture());
        QTest::mouseClick(window.findChild<QPushButton*>("saveButton"), Qt::LeftButton);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Cannot read the texture bad.png: the file is not a PNG or JPEG image."), std::string::npos)
            << out;
        QImage saved;
        ASSERT_TRUE(saved.load("export_texture.png", "PNG"));
        // Inside the grid's charts the saved texture carries the loaded colour.
        EXPECT_EQ(saved.pixel(saved.width() / 2, saved.height() / 2), qRgb(200, 40, 10));
        EXPECT_NE(testsupport::readTextFile("export.obj").find("mtllib export.mtl"), std::string::npos);
    });
}

TEST(MainWindow, ControlsFollowTheModelAndSaveSaysWhatItWrote)
{
    testsupport::TempDir dir("ui-controls");
    const std::string good = uitest::writeGridOBJ(dir.file("grid.obj"), 2);
    const std::string bad = testsupport::writeTextFile(dir.file("bad.obj"), "v 0 0 0\nf 1 2 3\n");
    MainWindow window;
    window.setOutputDirectory(dir.path());
    window.viewer2D()->setWaitFor3DView(false);
    window.setCriticalHook([](QWidget*, const QString&, const QString&) {});
    const auto enabled = [&](const char* name) { return window.findChild<QPushButton*>(name)->isEnabled(); };
    const struct {
        const std::string* file;
        bool usable;
        const char* title;
    } cases[] = {{&bad, false, "Tarnwick"}, {&good, true, "grid.obj - Tarnwick"}, {&bad, false, "Tarnwick"}};
    testing::internal::CaptureStdout();
    for (const auto& c : cases) {
        window.openModelFile(QString::fromStdString(*c.file));
        for (const char* name : {"optimizeButton", "saveButton", "storeViewButton"})
            EXPECT_EQ(enabled(name), c.usable) << name << " " << *c.file;
        EXPECT_EQ(window.action("runAction")->isEnabled(), c.usable);
        EXPECT_EQ(window.action("saveAction")->isEnabled(), c.usable);
        EXPECT_EQ(window.windowTitle(), QString(c.title));
    }
    // Nothing is written without a model.
    QTest::mouseClick(window.findChild<QPushButton*>("saveButton"), Qt::LeftButton);
    window.saveButtonPressed();
    EXPECT_TRUE(testsupport::readTextFile(dir.file("export.obj")).empty());

    window.openModelFile(QString::fromStdString(good));
    QTest::mouseClick(window.findChild<QPushButton*>("saveButton"), Qt::LeftButton);
    testing::internal::GetCapturedStdout();
    const QString message = window.statusBar()->currentMessage();
    EXPECT_TRUE(message.contains("export.svg") && message.contains("export.obj")) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(dir.path()))) << message.toStdString();
    EXPECT_FALSE(testsupport::readTextFile(dir.file("export.obj")).empty());
    EXPECT_EQ(window.recentFiles().value(0), QFileInfo(QString::fromStdString(good)).absoluteFilePath());
    EXPECT_EQ(window.pipeline().stageCounter(), 0);
}
