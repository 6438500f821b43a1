// The main window: statistics labels, the display options, refused files, a
// whole session of opening, texturing, running, saving and reloading, and
// every menu entry, dialog and drop as a user drives them.
#include "ui_test_support.h"

#include "support/formats.h"
#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/MainWindow.h"
#include "ui/ModelRenderer.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

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
    stats.overlapsFound = true;
    window.updateStatsDisplay(stats);
    QTest::qWait(20);
    const std::pair<const char*, const char*> labels[] = {{"numChartsLabel", "7"}, {"numVerticesLabel", "123456789"},
        {"numTrianglesLabel", "42"}, {"summedBLengthLabel", "4.123"}, {"fillRateLabel", "50.28"}};
    for (const auto& [name, text] : labels)
        EXPECT_EQ(labelText(window, name), text) << name;
    EXPECT_EQ(window.layoutWarningLabel()->text(), "Layout has flipped triangles (tinted red) and overlapping charts");
    for (QLabel* label : window.findChild<QWidget*>("widget_2")->findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    for (QAbstractButton* box : window.findChild<QWidget*>("controls3D")->findChildren<QAbstractButton*>())
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
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
        window.setBatchMode(true); // no box in batch mode, nor without a hook
        window.loadModelFromFile(path.c_str(), true);
        window.setBatchMode(false);
        window.setCriticalHook(nullptr);
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
    window.saveButtonPressed(); // nothing is written or run without a model
    window.optimizeButtonPressed();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("export.obj"))));
    EXPECT_EQ(window.pipeline().stageCounter(), 0);

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

    // The plain overlap removal exports only what it is asked for.
    window.removeOverlapsTrivial();
    window.exportResults("trivial.svg", nullptr, nullptr);
    EXPECT_TRUE(testsupport::checkXml(testsupport::readTextFile(dir.file("trivial.svg"))).wellFormed);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("trivial.obj"))));
    EXPECT_EQ(window.runBatchPipeline(), 0);
    EXPECT_EQ(window.pipeline().stageCounter(), 3);
    EXPECT_FALSE(testsupport::readTextFile(dir.file("bl_200.svg")).empty());
    // A folder in the way of the snapshot: Save says what it could not write.
    QFile::remove(QString::fromStdString(dir.file("export3D.png")));
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).mkdir("export3D.png"));
    click(window, "saveButton");
    const QString message = window.statusBar()->currentMessage();
    EXPECT_TRUE(message.contains("export.svg") && message.contains("export.obj")) << message.toStdString();
    EXPECT_TRUE(message.endsWith("; not written: export3D.png (see the console)")) << message.toStdString();
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

// Every menu entry and button as a user drives them, a dialog that the row
// opens answered with its file (or cancelled); each row has its effect.
TEST(MainWindow, MenuEntriesAndTheirDialogsHaveTheirEffect)
{
    testsupport::TempDir dir("ui-menus");
    const QString grid = QString::fromStdString(uitest::writeGridOBJ(dir.file("grid.obj"), 2));
    const QString bare = QString::fromStdString(uitest::writeGridOBJ(dir.file("bare.obj"), 2, false));
    const QString texture = QString::fromStdString(dir.file("t.png"));
    const QString notImage = QString::fromStdString(testsupport::writeTextFile(dir.file("t.jpg"), "not an image"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    ASSERT_TRUE(image.save(texture, "PNG"));
    MainWindow window;
    window.setOutputDirectory(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const MainWindowForm& form = window.form();
    const GLViewer3DModel* view = window.viewer3D();
    const QString navigation = view->navigationFile();
    QStringList boxes; // an unexpected refusal must not wait for a click
    window.setCriticalHook([&](QWidget*, const QString& title, const QString& text) { boxes << title << text; });
    const auto trigger = [&](const char* name) {
        return [&window, name] {
            window.action(name)->trigger();
            ASSERT_TRUE(uitest::waitUntil([&] { return !window.runInProgress(); }, 60000));
        };
    };
    const auto status = [&] { return window.statusBar()->currentMessage(); };
    const auto titled = [&](const char* title) { return window.windowTitle() == QString(title); };
    const struct {
        const char* name;
        bool dialog;
        QString answer;
        std::function<void()> act;
        std::function<bool()> effect;
    } rows[] = {
        {"Open, cancelled", true, {}, trigger("openAction"), [&] { return titled("Tarnwick"); }},
        {"Open", true, grid, trigger("openAction"), [&] { return titled("grid.obj - Tarnwick"); }},
        {"Load texture", true, texture, [&] { window.loadTextureAction()->trigger(); },
         [&] { return window.textureCheckBox()->isEnabled(); }},
        {"a texture that is no image", true, {}, [&] { window.loadTexture(notImage); },
         [&] { return boxes == QStringList{"Texture Not Loaded", "Cannot read the texture " + notImage + ": the file is not a PNG or JPEG image."}; }},
        {"the texture shown", false, {}, [&] { window.textureCheckBox()->setChecked(true); },
         [&] { return window.viewer3D()->renderer().surfaceTextureShown(); }},
        {"flat shading", false, {}, [&] { form.flatShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::FlatShading; }},
        {"no shading", false, {}, [&] { form.noShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::NoShading; }},
        {"smooth shading", false, {}, [&] { form.smoothShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::SmoothShading; }},
        {"cones and no cut edges", false, {},
         [&] {
             form.coneSingularities3DCB->setChecked(true);
             form.cutEdges3DCB->setChecked(false);
         },
         [&] { return view->showConeSingularities() && !view->showCutEdges(); }},
        {"Run Next Stage", false, {}, trigger("stepAction"),
         [&] { return window.pipeline().stageCounter() == 1 && status().startsWith("Run finished in"); }},
        {"Reload", false, {}, trigger("reloadAction"), [&] { return window.pipeline().stageCounter() == 0; }},
        {"Run", false, {}, trigger("runAction"), [&] { return window.pipeline().stageCounter() == 3; }},
        {"Save", false, {}, trigger("saveAction"),
         [&] { return status().startsWith("Saved export.svg, export.obj, export3D.png in "); }},
        {"Store View", false, {}, [&] { click(window, "storeViewButton"); },
         [&] { return status() == "Stored the 3D view in " + navigation; }},
        {"Store View onto a folder", false, {},
         [&] {
             QDir().mkdir(navigation + ".d");
             window.viewer3D()->setNavigationFile(navigation + ".d");
             click(window, "storeViewButton");
         },
         [&] { return status() == "Could not write " + navigation + ".d"; }},
        {"a model without UVs under the texture", false, {}, [&] { window.openModelFile(bare); },
         [&] { return titled("bare.obj - Tarnwick") && !window.viewer3D()->renderer().surfaceTextureShown(); }},
        {"Open Recent", false, {}, [&] { window.findChild<QMenu*>("recentMenu")->actions().value(1)->trigger(); },
         [&] { return titled("grid.obj - Tarnwick"); }},
        {"Quit", false, {}, trigger("quitAction"), [&] { return !window.isVisible(); }},
    };
    testing::internal::CaptureStdout();
    for (const auto& r : rows) {
        if (r.dialog)
            uitest::answerNextDialog(r.answer, &boxes);
        r.act();
        EXPECT_TRUE(r.effect()) << r.name << ": " << status().toStdString();
    }
    testing::internal::GetCapturedStdout();
}

// Files dropped onto the window or its 3D view: the first model file opens;
// other files, other URLs and plain text are refused.
TEST(MainWindow, DroppedModelFilesOpenOthersAreRefused)
{
    testsupport::TempDir dir("ui-drop");
    const QUrl grid = QUrl::fromLocalFile(QString::fromStdString(uitest::writeGridOBJ(dir.file("grid.obj"), 2)));
    const QUrl text = QUrl::fromLocalFile(QString::fromStdString(testsupport::writeTextFile(dir.file("a.txt"), "x")));
    const QUrl other = QUrl::fromLocalFile(QString::fromStdString(uitest::writeGridOBJ(dir.file("other.OBJ"), 1)));
    const struct {
        QList<QUrl> urls;
        bool onView, accepted;
        const char* title;
    } rows[] = {
        {{text, grid}, false, true, "grid.obj - Tarnwick"},
        {{other}, true, true, "other.OBJ - Tarnwick"},
        {{text}, false, false, "other.OBJ - Tarnwick"},
        {{QUrl("http://example.org/m.obj")}, true, false, "other.OBJ - Tarnwick"},
        {{}, false, false, "other.OBJ - Tarnwick"},
        {{QUrl::fromLocalFile(QString::fromStdString(dir.file("missing.glb")))}, false, true, "Tarnwick"},
    };
    MainWindow window;
    window.setBatchMode(true);
    testing::internal::CaptureStdout();
    for (const auto& r : rows) {
        QMimeData mime;
        if (r.urls.isEmpty())
            mime.setText(grid.toLocalFile());
        else
            mime.setUrls(r.urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        drop.ignore();
        QApplication::sendEvent(&window, &enter);
        QApplication::sendEvent(r.onView ? static_cast<QWidget*>(window.viewer3D()) : &window, &drop);
        EXPECT_EQ(enter.isAccepted(), r.accepted) << r.title;
        EXPECT_EQ(drop.isAccepted(), r.accepted) << r.title;
        EXPECT_EQ(window.windowTitle(), QString(r.title));
    }
    // The recent files keep the last eight opened, the newest first.
    QStringList opened;
    for (int i = 0; i < MainWindow::MaxRecentFiles + 1; ++i) {
        opened.prepend(QString::fromStdString(uitest::writeGridOBJ(dir.file(std::to_string(i) + ".obj"), 1)));
        window.openModelFile(opened.front());
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(window.recentFiles(), opened.mid(0, MainWindow::MaxRecentFiles));
    EXPECT_EQ(window.findChild<QMenu*>("recentMenu")->actions().size(), MainWindow::MaxRecentFiles);
}
